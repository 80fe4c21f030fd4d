#include "platform/DateFormatterLocales.hpp"

namespace talvaren::platform::detail {
namespace {

constexpr std::array<std::string_view, 12> kEnglishMonths{"January", "February", "March",     "April",
                                                          "May",     "June",     "July",      "August",
                                                          "September", "October", "November", "December"};
constexpr std::array<std::string_view, 12> kEnglishShortMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
constexpr std::array<std::string_view, 7> kEnglishWeekdays{"Sunday",   "Monday", "Tuesday", "Wednesday",
                                                           "Thursday", "Friday", "Saturday"};
constexpr std::array<std::string_view, 7> kEnglishShortWeekdays{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};

const LanguageNames kEnglishUS{"EEEE, MMMM d, y", kEnglishMonths, kEnglishShortMonths, kEnglishWeekdays,
                               kEnglishShortWeekdays};
const LanguageNames kEnglishGB{"EEEE, d MMMM y", kEnglishMonths, kEnglishShortMonths, kEnglishWeekdays,
                               kEnglishShortWeekdays};

const LanguageNames kGerman{
    "EEEE, d. MMMM y",
    {"Januar", "Februar", "M\u00e4rz", "April", "Mai", "Juni", "Juli", "August", "September", "Oktober",
     "November", "Dezember"},
    {"Jan.", "Feb.", "M\u00e4rz", "Apr.", "Mai", "Juni", "Juli", "Aug.", "Sept.", "Okt.", "Nov.", "Dez."},
    {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"},
    {"So.", "Mo.", "Di.", "Mi.", "Do.", "Fr.", "Sa."}};

const LanguageNames kFrench{
    "EEEE d MMMM y",
    {"janvier", "f\u00e9vrier", "mars", "avril", "mai", "juin", "juillet", "ao\u00fbt", "septembre", "octobre",
     "novembre", "d\u00e9cembre"},
    {"janv.", "f\u00e9vr.", "mars", "avr.", "mai", "juin", "juil.", "ao\u00fbt", "sept.", "oct.", "nov.",
     "d\u00e9c."},
    {"dimanche", "lundi", "mardi", "mercredi", "jeudi", "vendredi", "samedi"},
    {"dim.", "lun.", "mar.", "mer.", "jeu.", "ven.", "sam."}};

const LanguageNames kSpanish{
    "EEEE, d 'de' MMMM 'de' y",
    {"enero", "febrero", "marzo", "abril", "mayo", "junio", "julio", "agosto", "septiembre", "octubre",
     "noviembre", "diciembre"},
    {"ene", "feb", "mar", "abr", "may", "jun", "jul", "ago", "sept", "oct", "nov", "dic"},
    {"domingo", "lunes", "martes", "mi\u00e9rcoles", "jueves", "viernes", "s\u00e1bado"},
    {"dom", "lun", "mar", "mi\u00e9", "jue", "vie", "s\u00e1b"}};

const LanguageNames kItalian{
    "EEEE d MMMM y",
    {"gennaio", "febbraio", "marzo", "aprile", "maggio", "giugno", "luglio", "agosto", "settembre", "ottobre",
     "novembre", "dicembre"},
    {"gen", "feb", "mar", "apr", "mag", "giu", "lug", "ago", "set", "ott", "nov", "dic"},
    {"domenica", "luned\u00ec", "marted\u00ec", "mercoled\u00ec", "gioved\u00ec", "venerd\u00ec", "sabato"},
    {"dom", "lun", "mar", "mer", "gio", "ven", "sab"}};

const LanguageNames kPortuguese{
    "EEEE, d 'de' MMMM 'de' y",
    {"janeiro", "fevereiro", "mar\u00e7o", "abril", "maio", "junho", "julho", "agosto", "setembro", "outubro",
     "novembro", "dezembro"},
    {"jan.", "fev.", "mar.", "abr.", "mai.", "jun.", "jul.", "ago.", "set.", "out.", "nov.", "dez."},
    {"domingo", "segunda-feira", "ter\u00e7a-feira", "quarta-feira", "quinta-feira", "sexta-feira",
     "s\u00e1bado"},
    {"dom.", "seg.", "ter.", "qua.", "qui.", "sex.", "s\u00e1b."}};

const LanguageNames kDutch{
    "EEEE d MMMM y",
    {"januari", "februari", "maart", "april", "mei", "juni", "juli", "augustus", "september", "oktober",
     "november", "december"},
    {"jan", "feb", "mrt", "apr", "mei", "jun", "jul", "aug", "sep", "okt", "nov", "dec"},
    {"zondag", "maandag", "dinsdag", "woensdag", "donderdag", "vrijdag", "zaterdag"},
    {"zo", "ma", "di", "wo", "do", "vr", "za"}};

}  // namespace

const LanguageNames& namesFor(const Locale& locale) {
  std::string language = foldCase(locale.languageCode());
  if (language == "en") {
    const auto& id = locale.identifier();
    bool dayFirst = id.size() > 3 && id.compare(3, std::string::npos, "US") != 0 &&
                    id.compare(3, std::string::npos, "US_POSIX") != 0;
    return dayFirst ? kEnglishGB : kEnglishUS;
  }
  if (language == "de") return kGerman;
  if (language == "fr") return kFrench;
  if (language == "es") return kSpanish;
  if (language == "it") return kItalian;
  if (language == "pt") return kPortuguese;
  if (language == "nl") return kDutch;
  return kEnglishUS;
}

std::string foldCase(std::string_view text) {
  std::string folded(text);
  for (std::size_t i = 0; i < folded.size(); ++i) {
    auto c = static_cast<unsigned char>(folded[i]);
    if (c >= 'A' && c <= 'Z') {
      folded[i] = static_cast<char>(c + 32);
    } else if (c == 0xC3 && i + 1 < folded.size()) {
      // U+00C0 ... U+00DE (but not U+00D7, the multiplication sign) lower-case to U+00E0 ... U+00FE.
      auto next = static_cast<unsigned char>(folded[i + 1]);
      if (next >= 0x80 && next <= 0x9E && next != 0x97) folded[i + 1] = static_cast<char>(next + 0x20);
      ++i;
    }
  }
  return folded;
}

}  // namespace talvaren::platform::detail
