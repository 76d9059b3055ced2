// SPDX-License-Identifier: GPL-3.0-or-later
#include "Locale.h"

#include <QLocale>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <iterator>

namespace platform {
namespace {

std::atomic<unsigned short> overrideId{0};

struct LocaleId {
    const char* name;
    unsigned short id;
};

// Exact language and territory pairs. The first entry of each language is its primary choice.
constexpr LocaleId KnownLocales[] = {
    {"en_US", 0x0409}, {"en_GB", 0x0809}, {"en_AU", 0x0C09}, {"en_CA", 0x1009}, {"en_NZ", 0x1409},
    {"en_IE", 0x1809}, {"en_ZA", 0x1C09}, {"en_IN", 0x4009}, {"en_SG", 0x4809}, {"zh_CN", 0x0804},
    {"zh_TW", 0x0404}, {"zh_HK", 0x0C04}, {"zh_SG", 0x1004}, {"zh_MO", 0x1404}, {"ru_RU", 0x0419},
    {"ru_MD", 0x0819}, {"de_DE", 0x0407}, {"de_CH", 0x0807}, {"de_AT", 0x0C07}, {"de_LU", 0x1007},
    {"de_LI", 0x1407}, {"fr_FR", 0x040C}, {"fr_BE", 0x080C}, {"fr_CA", 0x0C0C}, {"fr_CH", 0x100C},
    {"fr_LU", 0x140C}, {"es_ES", 0x0C0A}, {"es_MX", 0x080A}, {"es_AR", 0x2C0A}, {"es_CO", 0x240A},
    {"es_CL", 0x340A}, {"es_US", 0x540A}, {"pt_BR", 0x0416}, {"pt_PT", 0x0816}, {"it_IT", 0x0410},
    {"it_CH", 0x0810}, {"nl_NL", 0x0413}, {"nl_BE", 0x0813}, {"sv_SE", 0x041D}, {"sv_FI", 0x081D},
    {"ja_JP", 0x0411}, {"ko_KR", 0x0412}, {"pl_PL", 0x0415}, {"uk_UA", 0x0422}, {"cs_CZ", 0x0405},
    {"sk_SK", 0x041B}, {"hu_HU", 0x040E}, {"ro_RO", 0x0418}, {"bg_BG", 0x0402}, {"el_GR", 0x0408},
    {"tr_TR", 0x041F}, {"he_IL", 0x040D}, {"ar_SA", 0x0401}, {"ar_EG", 0x0C01}, {"th_TH", 0x041E},
    {"vi_VN", 0x042A}, {"id_ID", 0x0421}, {"ms_MY", 0x043E}, {"fi_FI", 0x040B}, {"da_DK", 0x0406},
    {"nb_NO", 0x0414}, {"nn_NO", 0x0814}, {"is_IS", 0x040F}, {"et_EE", 0x0425}, {"lv_LV", 0x0426},
    {"lt_LT", 0x0427}, {"sl_SI", 0x0424}, {"hr_HR", 0x041A}, {"sr_RS", 0x241A}, {"be_BY", 0x0423},
    {"kk_KZ", 0x043F}, {"ka_GE", 0x0437}, {"hy_AM", 0x042B}, {"fa_IR", 0x0429}, {"hi_IN", 0x0439},
    {"ca_ES", 0x0403}, {"eu_ES", 0x042D}, {"gl_ES", 0x0456},
};

std::string Normalize(const std::string& localeName) {
    // "zh_CN.UTF-8@euro" and "zh-CN" both name zh_CN.
    std::string name = localeName.substr(0, localeName.find_first_of(".@"));
    std::replace(name.begin(), name.end(), '-', '_');
    const std::size_t underscore = name.find('_');
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        name[i] = static_cast<char>(
            underscore != std::string::npos && i > underscore ? std::toupper(c) : std::tolower(c));
    }
    return name;
}

}  // namespace

unsigned short LanguageIdForLocale(const std::string& localeName) {
    const std::string name = Normalize(localeName);
    for (const LocaleId& known : KnownLocales) {
        if (name == known.name) {
            return known.id;
        }
    }
    const std::string language = name.substr(0, name.find('_'));
    for (const LocaleId& known : KnownLocales) {
        const std::string knownName = known.name;
        if (knownName.substr(0, knownName.find('_')) == language) {
            return known.id;
        }
    }
    return 0x0409;
}

unsigned short UserDefaultLanguageId() {
    const unsigned short id = overrideId.load();
    if (id != 0) {
        return id;
    }
    return LanguageIdForLocale(QLocale::system().name().toStdString());
}

void SetUserLanguageIdForTesting(unsigned short id) {
    overrideId.store(id);
}

}  // namespace platform
