#include "common/UiText.h"

#include "common/Cp932.h"

#include <QLocale>
#include <QTranslator>
#include <map>
#include <mutex>
#include <tuple>

namespace pim {

namespace {

struct Catalogue {
    std::mutex mutex;
    UiLanguage language = UiLanguage::Japanese;
    QTranslator english;
    bool englishLoaded = false;
    // Keyed by the literals' addresses and the language: a text handed out stays valid.
    std::map<std::tuple<const char*, const char*, UiLanguage>, std::string> converted;
};

Catalogue& TheCatalogue() {
    static Catalogue catalogue;
    return catalogue;
}

QString Translate(Catalogue& c, const char* context, const char* source) {
    if (c.language == UiLanguage::English) {
        const QString text = c.english.translate(context, source);
        if (!text.isEmpty())
            return text;
    }
    return QString::fromUtf8(source);
}

} // namespace

UiLanguage LanguageFor(const QLocale& locale) {
    const QStringList languages = locale.uiLanguages();
    const QString first = languages.isEmpty() ? locale.name() : languages.first();
    return first == QLatin1String("ja") || first.startsWith(QLatin1String("ja-")) ||
                   first.startsWith(QLatin1String("ja_"))
               ? UiLanguage::Japanese
               : UiLanguage::English;
}

bool SetUiLanguage(UiLanguage language) {
    Catalogue& c = TheCatalogue();
    const std::lock_guard lock(c.mutex);
    if (language == UiLanguage::English && !c.englishLoaded)
        c.englishLoaded = c.english.load(QStringLiteral(":/i18n/pim_en.qm"));
    c.language = language == UiLanguage::English && c.englishLoaded ? UiLanguage::English
                                                                    : UiLanguage::Japanese;
    return c.language == language;
}

UiLanguage CurrentUiLanguage() {
    Catalogue& c = TheCatalogue();
    const std::lock_guard lock(c.mutex);
    return c.language;
}

QString UiString(const char* context, const char* source) {
    Catalogue& c = TheCatalogue();
    const std::lock_guard lock(c.mutex);
    return Translate(c, context, source);
}

const std::string& UiText(const char* context, const char* source) {
    Catalogue& c = TheCatalogue();
    const std::lock_guard lock(c.mutex);
    const auto key = std::make_tuple(context, source, c.language);
    auto found = c.converted.find(key);
    if (found == c.converted.end())
        found = c.converted.emplace(key, cp932::FromUnicode(Translate(c, context, source))).first;
    return found->second;
}

} // namespace pim
