#pragma once

// The text to show for an English program text, in the language chosen at start-up. The
// result is the argument itself or a string owned by the process's translation table, which
// is read on the first call and then never changes: callers may keep the pointer for the life
// of the process and never free it. Safe to call from any thread.
const char16_t* TranslateText(const char16_t* text);

// For tests only: forgets the loaded table, so that the next call reads the table then
// selected. Texts returned before stay valid.
void ResetTranslationTableForTesting();
