// Locale data: a few built-in locales, one of them the user's and the
// system's, with the user's overrides of country code and separators.
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "platform/codepage_ctl.h"
#include "platform/core.h"
#include "platform/facts.h"
#include "win/environment.h"
#include "win/errors.h"

namespace {

struct LocaleData {
    LANGID lang;
    const char16_t* name;     // LOCALE_SNAME
    const char16_t* language; // LOCALE_SLANGUAGE (as an English user interface shows it)
    const char16_t* english;  // LOCALE_SENGLANGUAGE
    const char16_t* abbrev;   // LOCALE_SABBREVLANGNAME
    const char16_t* country;  // LOCALE_SCOUNTRY, LOCALE_SENGCOUNTRY
    const char16_t* iso639;
    const char16_t* iso3166;
    DWORD countryCode; // LOCALE_ICOUNTRY
    const char16_t* decimal;
    const char16_t* thousand;
    DWORD measure; // 0 metric, 1 U.S.
    DWORD ansiCodePage;
    DWORD oemCodePage;
};

const LocaleData kLocales[] = {
    {0x0409, u"en-US", u"English (United States)", u"English", u"ENU", u"United States", u"en",
     u"US", 1, u".", u",", 1, 1252, 437},
    {0x0809, u"en-GB", u"English (United Kingdom)", u"English", u"ENG", u"United Kingdom", u"en",
     u"GB", 44, u".", u",", 0, 1252, 850},
    {0x0407, u"de-DE", u"German (Germany)", u"German", u"DEU", u"Germany", u"de", u"DE", 49, u",",
     u".", 0, 1252, 850},
    {0x040C, u"fr-FR", u"French (France)", u"French", u"FRA", u"France", u"fr", u"FR", 33, u",",
     u"\u00A0", 0, 1252, 850},
    {0x0411, u"ja-JP", u"Japanese (Japan)", u"Japanese", u"JPN", u"Japan", u"ja", u"JP", 81, u".",
     u",", 0, 932, 932},
    {0x007F, u"", u"Invariant Language (Invariant Country)", u"Invariant Language", u"IVL",
     u"Invariant Country", u"iv", u"IV", 1, u".", u",", 0, 1252, 437},
};

struct Settings {
    LCID lcid = 0x0409;
    std::optional<DWORD> countryCode;
    std::optional<std::u16string> decimal;
    std::optional<std::u16string> thousand;
    std::optional<DWORD> measure;
};

std::mutex gMutex;
Settings gSettings;

void ResetLocale() {
    std::lock_guard lock(gMutex);
    gSettings = Settings{};
}

void Changing() {
    static std::once_flag once;
    std::call_once(once, [] { platform::RegisterResetHook(&ResetLocale); });
}

const LocaleData* FindLocale(LANGID lang) {
    for (const auto& l : kLocales)
        if (l.lang == lang) return &l;
    return nullptr;
}

LCID CurrentLcid() {
    std::lock_guard lock(gMutex);
    return gSettings.lcid;
}

std::u16string Number(DWORD n) {
    std::u16string s;
    do {
        s.insert(s.begin(), static_cast<char16_t>(u'0' + n % 10));
        n /= 10;
    } while (n);
    return s;
}

std::u16string Hex4(DWORD n) {
    static const char16_t kDigits[] = u"0123456789abcdef";
    std::u16string s(4, u'0');
    for (int i = 3; i >= 0; --i, n >>= 4)
        s[static_cast<size_t>(i)] = kDigits[n & 0xF];
    return s;
}

struct Answer {
    std::u16string text;
    std::optional<DWORD> number; // for LOCALE_RETURN_NUMBER
};

// ERROR_SUCCESS and the answer, or the error to report.
DWORD Lookup(LCID locale, LCTYPE type, Answer* out) {
    Settings settings;
    {
        std::lock_guard lock(gMutex);
        settings = gSettings;
    }
    LANGID lang = LANGIDFROMLCID(locale);
    bool current = true;
    switch (lang) {
    case LOCALE_NEUTRAL:
    case LOCALE_USER_DEFAULT:
    case LOCALE_SYSTEM_DEFAULT:
    case LOCALE_CUSTOM_DEFAULT:
    case LOCALE_CUSTOM_UNSPECIFIED:
    case LOCALE_CUSTOM_UI_DEFAULT:
        lang = LANGIDFROMLCID(settings.lcid);
        break;
    default:
        current = lang == LANGIDFROMLCID(settings.lcid);
    }
    const LocaleData* data = FindLocale(lang);
    if (!data) return ERROR_INVALID_PARAMETER;
    bool overrides = current && !(type & LOCALE_NOUSEROVERRIDE);
    DWORD countryCode =
        overrides && settings.countryCode ? *settings.countryCode : data->countryCode;
    DWORD measure = overrides && settings.measure ? *settings.measure : data->measure;
    switch (type & ~static_cast<LCTYPE>(LOCALE_NOUSEROVERRIDE | LOCALE_USE_CP_ACP |
                                        LOCALE_RETURN_NUMBER)) {
    case LOCALE_ILANGUAGE:
        *out = {Hex4(data->lang), data->lang};
        break;
    case LOCALE_SLANGUAGE:
        *out = {data->language, {}};
        break;
    case LOCALE_SENGLANGUAGE:
        *out = {data->english, {}};
        break;
    case LOCALE_SABBREVLANGNAME:
        *out = {data->abbrev, {}};
        break;
    case LOCALE_ICOUNTRY:
        *out = {Number(countryCode), countryCode};
        break;
    case LOCALE_SCOUNTRY:
    case LOCALE_SENGCOUNTRY:
        *out = {data->country, {}};
        break;
    case LOCALE_IDEFAULTCODEPAGE:
        *out = {Number(data->oemCodePage), data->oemCodePage};
        break;
    case LOCALE_IDEFAULTANSICODEPAGE:
        *out = {Number(data->ansiCodePage), data->ansiCodePage};
        break;
    case LOCALE_IMEASURE:
        *out = {Number(measure), measure};
        break;
    case LOCALE_SDECIMAL:
        *out = {overrides && settings.decimal ? *settings.decimal : std::u16string(data->decimal),
                {}};
        break;
    case LOCALE_STHOUSAND:
        *out = {overrides && settings.thousand ? *settings.thousand
                                               : std::u16string(data->thousand),
                {}};
        break;
    case LOCALE_SISO639LANGNAME:
        *out = {data->iso639, {}};
        break;
    case LOCALE_SISO3166CTRYNAME:
        *out = {data->iso3166, {}};
        break;
    case LOCALE_SNAME:
        *out = {data->name, {}};
        break;
    default:
        return ERROR_INVALID_FLAGS;
    }
    if ((type & LOCALE_RETURN_NUMBER) && !out->number) return ERROR_INVALID_FLAGS;
    return ERROR_SUCCESS;
}

int Fail(DWORD error) {
    SetLastError(error);
    return 0;
}

// Answers into a buffer of `capacity` units of Char; a number takes
// sizeof(DWORD) bytes.
template <class Char>
int Give(const Answer& a, bool asNumber, const std::basic_string<Char>& text, Char* buffer,
         int capacity) {
    if (capacity < 0 || (capacity > 0 && !buffer)) return Fail(ERROR_INVALID_PARAMETER);
    if (asNumber) {
        int needed = static_cast<int>(sizeof(DWORD) / sizeof(Char));
        if (capacity == 0) return needed;
        if (capacity < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
        DWORD n = *a.number;
        std::memcpy(buffer, &n, sizeof n);
        return needed;
    }
    int needed = static_cast<int>(text.size() + 1);
    if (capacity == 0) return needed;
    if (capacity < needed) return Fail(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, text.c_str(), static_cast<size_t>(needed) * sizeof(Char));
    return needed;
}

} // namespace

namespace platform::test {

bool SetLocale(LCID lcid) {
    const LocaleData* data = FindLocale(LANGIDFROMLCID(lcid));
    if (!data || data->lang == 0x007F) return false;
    Changing();
    std::lock_guard lock(gMutex);
    gSettings = Settings{};
    gSettings.lcid = data->lang;
    return true;
}

void SetCountryCode(DWORD code) {
    Changing();
    std::lock_guard lock(gMutex);
    gSettings.countryCode = code;
}

void SetDecimalSeparator(std::u16string_view separator) {
    Changing();
    std::lock_guard lock(gMutex);
    gSettings.decimal = std::u16string(separator);
}

void SetThousandSeparator(std::u16string_view separator) {
    Changing();
    std::lock_guard lock(gMutex);
    gSettings.thousand = std::u16string(separator);
}

void SetMeasureSystem(DWORD measure) {
    Changing();
    std::lock_guard lock(gMutex);
    gSettings.measure = measure;
}

} // namespace platform::test

extern "C" {

int WINAPI GetLocaleInfoW(LCID Locale, LCTYPE LCType, LPWSTR lpLCData, int cchData) {
    PLATFORM_FAULT_POINT("GetLocaleInfoW", 0);
    try {
        Answer a;
        if (DWORD error = Lookup(Locale, LCType, &a)) return Fail(error);
        return Give<char16_t>(a, LCType & LOCALE_RETURN_NUMBER, a.text, lpLCData, cchData);
    } catch (...) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

int WINAPI GetLocaleInfoA(LCID Locale, LCTYPE LCType, LPSTR lpLCData, int cchData) {
    PLATFORM_FAULT_POINT("GetLocaleInfoA", 0);
    try {
        Answer a;
        if (DWORD error = Lookup(Locale, LCType, &a)) return Fail(error);
        return Give<char>(a, LCType & LOCALE_RETURN_NUMBER, platform::WideToAnsi(a.text), lpLCData,
                          cchData);
    } catch (...) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}

LCID WINAPI GetUserDefaultLCID(void) {
    return CurrentLcid();
}
LCID WINAPI GetSystemDefaultLCID(void) {
    return CurrentLcid();
}
LANGID WINAPI GetUserDefaultLangID(void) {
    return LANGIDFROMLCID(CurrentLcid());
}
LANGID WINAPI GetSystemDefaultLangID(void) {
    return LANGIDFROMLCID(CurrentLcid());
}
LANGID WINAPI GetUserDefaultUILanguage(void) {
    return LANGIDFROMLCID(CurrentLcid());
}
LANGID WINAPI GetSystemDefaultUILanguage(void) {
    return LANGIDFROMLCID(CurrentLcid());
}

} // extern "C"
