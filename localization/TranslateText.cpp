#include "localization/TranslateText.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "localization/TranslationSettings.h"
#include "localization/TranslationTable.h"
#include "platform/Resources.h"

namespace {

std::mutex tableMutex;
// Every table ever read, kept to the end of the process because returned texts point into
// them; more than one only when tests switch tables.
std::vector<std::unique_ptr<const TranslationTable>> tablesRead;
std::atomic<const TranslationTable*> currentTable{nullptr};

const TranslationTable& ProcessTable() {
  if (const TranslationTable* table = currentTable.load(std::memory_order_acquire)) return *table;
  const std::lock_guard lock(tableMutex);
  if (const TranslationTable* table = currentTable.load(std::memory_order_acquire)) return *table;

  // A missing table reads as no data: no entries, every text shown as it is.
  const auto data = platform::FindResource("TEXTFILE", TranslationSettings.SelectedTableId);
  tablesRead.push_back(std::make_unique<const TranslationTable>(
      TranslationTable::Read(data.value_or(platform::ResourceBytes()))));
  currentTable.store(tablesRead.back().get(), std::memory_order_release);
  return *tablesRead.back();
}

}  // namespace

const char16_t* TranslateText(const char16_t* text) {
  if (text == nullptr || !TranslationSettings.EmbeddedTableSelected || text[0] == u'\0') {
    return text;
  }
  return ProcessTable().Translate(text);
}

void ResetTranslationTableForTesting() {
  const std::lock_guard lock(tableMutex);
  currentTable.store(nullptr, std::memory_order_release);
}
