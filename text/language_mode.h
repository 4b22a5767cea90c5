// The language of a run. A run started from SetupDialog is Japanese: JapanCopy copies
// and EnglishCopy does not. The text filter keeps the matching half of bilingual
// comments.
#ifndef SETUP_TEXT_LANGUAGE_MODE_H_
#define SETUP_TEXT_LANGUAGE_MODE_H_

namespace setup {

enum class LanguageMode { kEnglish, kJapanese };

}  // namespace setup

#endif  // SETUP_TEXT_LANGUAGE_MODE_H_
