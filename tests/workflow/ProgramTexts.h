#pragma once

// The program's English texts as the screens are checked against them (each is turned into the
// selected table's form with T()).
namespace workflow_test {

inline constexpr char16_t kNotFoundStatus[] = u"KORVEX 6.0\r\n\r\nNot Found !";
inline constexpr char16_t kNotFoundBody[] =
    u"Your Product can not be Upgraded to the\nlatest Firmware included in this Upgrade\npackage. There is no "
    u"supported product\nconnected to your system\nPress Exit button to exit.";
inline constexpr char16_t kUpToDateBody[] =
    u"Your Product can not be Upgraded.\nYou already have the latest Firmware or newer than\nincluded in this "
    u"Upgrade Package.\nPress Exit button to Exit";
inline constexpr char16_t kOfferBody[] =
    u"With this upgrade package your product\ncan be updated to the latest firmware. \nOnce the upgrade is "
    u"started, it cannot be cancelled or reversed.\r\nUse at your own Risk.";
inline constexpr char16_t kTransferMessage[] = u"Transfer in progress ...";
inline constexpr char16_t kTransferBody[] =
    u"Do not disconnect your device until the transfer is complete.\nDisconnecting your device while the "
    u"transfer is in progress may damage your device.";
inline constexpr char16_t kFinalWarningBody[] =
    u"Do Not Disconnect your Device !\nAfter Reprogramming your Device is complete,\nyour Device will restart "
    u"automatically";
inline constexpr char16_t kReprogramming[] = u"Transfer completed. Reprogramming the device now.\r\n";
inline constexpr char16_t kUnplug[] = u"Transfer completed. Please unplug the device now.\r\n";
inline constexpr char16_t kConnect[] = u"Please connect the Device now.\r\n";
inline constexpr char16_t kInitialize[] = u"Waiting for Device Initialize.\r\n";
inline constexpr char16_t kKeyboardRestart[] = u"Please wait for your Keyboard to restart";
inline constexpr char16_t kMouseRestart[] = u"Please wait for your Mouse to restart";
inline constexpr char16_t kSuccessBody[] = u"\n\nFirmware upgrade was successful!";
inline constexpr char16_t kFailureBody[] =
    u"\n\nFirmware upgrade was NOT successful!\nPlease restart the application and try again.";

}  // namespace workflow_test
