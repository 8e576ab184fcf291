// The language of what the user reads on this machine. The texts are written in
// Japanese, which is also what a Japanese locale shows; every other locale reads
// them in English, from the translation compiled into the program. What other
// stations and Pim.INI see never goes through here.
#pragma once

#include <QString>
#include <string>

class QLocale;

namespace pim {

enum class UiLanguage { Japanese, English };

// Japanese when the locale's first language for messages is Japanese.
UiLanguage LanguageFor(const QLocale& locale);

// Chooses the language of every text asked for afterwards. English needs the
// translation among the program's resources; without it the texts stay Japanese
// and this returns false.
bool SetUiLanguage(UiLanguage language);
UiLanguage CurrentUiLanguage();

// `source` of `context`, in the chosen language.
QString UiString(const char* context, const char* source);
// The same in CP932, converted once per language.
const std::string& UiText(const char* context, const char* source);

} // namespace pim
