#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Resources.h"

namespace {

// The pairs as the tables hold them: escapes not decoded, trailing blanks part of the text.
struct Pair {
  const char16_t* source;
  const char16_t* english;
  const char16_t* chinese;
};

const Pair kPairs[] = {
    {u"||FIRMWARE UPGRADE ", u"||FIRMWARE UPGRADE", u"||固件升级"},
    {u"KORVEX 6.0*|*|Not Found !", u"KORVEX 6.0*|*|Not found !", u"没有找到 KORVEX 6.0*|*|!"},
    {u"Your KORVEX 6.0*|is currently on*|Version ", u"Your KORVEX 6.0*|is currently on*|version",
     u"您的 KORVEX 6.0*|正在使用*|版本"},
    {u"With this upgrade package your product|can be updated to the latest firmware. |Once the "
     u"upgrade is started, it cannot be cancelled or reversed.*|Use at your own Risk.",
     u"With this upgrade package your product|can be updated to the latest firmware. |Once the "
     u"upgrade is started, it cannot be cancelled or reversed.*|Use at your own risk.",
     u"通过这个升级包，|您的产品将更新到最新的固件。|升级开始后，不能中断或重新启动|使用者自担风险。"},
    {u"Your Product can not be Upgraded to the|latest Firmware included in this Upgrade|package. "
     u"There is no supported product|connected to your system|Press Exit button to exit.",
     u"Your product can not be upgraded to the|latest firmware included in this upgrade|package. "
     u"There is no supported product|connected to your system|Press exit button to close.",
     u"您的产品不能升级到|包括这个升级包的最新固件|没有找到与系统相连的所支持的产品，|请按退出键退出"},
    {u"Your Product can not be Upgraded.|You already have the latest Firmware or newer "
     u"than|included in this Upgrade Package.|Press Exit button to Exit",
     u"Your product can not be upgraded.|You already have the latest firmware or newer "
     u"than|included in this upgrade package.|Press exit button to close",
     u"您的产品不能升级。|您已经拥有了包括这个升级包的|最新的或者更新的固件，|请按退出键退出"},
    {u"EXIT", u"EXIT", u"退出"},
    {u"UPGRADE NOW", u"UPGRADE NOW", u"点击升级"},
    {u"Transfer in progress ...", u"Transfer in progress ...", u"正在传送 ..."},
    {u"Do not disconnect your device until the transfer is complete.|Disconnecting your device "
     u"while the transfer is in progress may damage your device.",
     u"Do not disconnect your device until the transfer is complete.|Disconnecting your device "
     u"while the transfer is in progress|may damage your device.",
     u"不能断开设备，直到传送结束。|传送过程中断开设备|可能损害您的设备。"},
    {u"Do Not Disconnect your Device !|After Reprogramming your Device is complete,|your Device "
     u"will restart automatically",
     u"Do not disconnect your device !|After reprogramming your device is complete,|your device "
     u"will restart automatically ",
     u"不要断开您的设备！|您的设备再编程完成后，|您的设备将自动重新启动。 "},
    {u"||Firmware upgrade was NOT successful!|Please restart the application and try again.",
     u"||Firmware upgrade was NOT successful!|Please restart the application and try again. ",
     u"||固件升级失败！|请重新启动应用并重试。 "},
    {u"||Firmware upgrade was successful!", u"||Firmware upgrade was successful!",
     u"||固件升级成功！"},
    {u"Transfer completed. Please unplug the device now.*|",
     u"Transfer completed. Please unplug the device now.*|", u"传送结束，现在请断开设备*|"},
};
constexpr char16_t kLastSource[] = u"Transfer completed. Reprogramming the device now.*|";

struct TableFile {
  bool byteOrderMark = false;
  std::vector<std::u16string> lines;  // each ended by CR LF
  std::u16string unterminated;        // after the last CR LF
};

TableFile ReadTableFile(int id) {
  TableFile table;
  const auto bytes = platform::FindResource("TEXTFILE", id);
  if (!bytes || bytes->size() < 2 || bytes->size() % 2 != 0) return table;
  std::u16string units;
  for (std::size_t i = 0; i < bytes->size(); i += 2) {
    units.push_back(static_cast<char16_t>((*bytes)[i] | (*bytes)[i + 1] << 8));
  }
  table.byteOrderMark = units[0] == 0xFEFF;
  std::u16string_view rest = std::u16string_view(units).substr(1);
  for (std::size_t end; (end = rest.find(u"\r\n")) != std::u16string_view::npos;) {
    table.lines.emplace_back(rest.substr(0, end));
    rest.remove_prefix(end + 2);
  }
  table.unterminated = rest;
  return table;
}

void ExpectTable(int id, const std::u16string& lastTranslation,
                 const char16_t* Pair::*translation) {
  const TableFile table = ReadTableFile(id);
  EXPECT_TRUE(table.byteOrderMark) << id;
  ASSERT_EQ(table.lines.size(), 2 * std::size(kPairs) + 1) << id;
  for (std::size_t i = 0; i < std::size(kPairs); ++i) {
    EXPECT_EQ(table.lines[2 * i], kPairs[i].source) << "table " << id << " pair " << i + 1;
    const std::u16string expected =
        translation ? kPairs[i].*translation : u"NOT TRANSLATED YET";
    EXPECT_EQ(table.lines[2 * i + 1], expected) << "table " << id << " pair " << i + 1;
  }
  EXPECT_EQ(table.lines.back(), kLastSource) << id;
  EXPECT_EQ(table.unterminated, lastTranslation) << "the last line has no CR LF, table " << id;
}

TEST(TranslationResources, EnglishTableHoldsTheDisplayForms) {
  ExpectTable(4000, kLastSource, &Pair::english);
}

TEST(TranslationResources, ChineseTableHoldsTheTranslations) {
  ExpectTable(4008, u"传送结束，正在对设备重新编程*|", &Pair::chinese);
}

TEST(TranslationResources, OtherTablesAreNotTranslatedYet) {
  for (const int id : {4001, 4002, 4003, 4004, 4005, 4006, 4007, 4009, 4010}) {
    ExpectTable(id, u"NOT TRANSLATED YET", nullptr);
  }
}

}  // namespace
