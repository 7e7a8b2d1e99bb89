#include "convert/codepages.h"

#include <gtest/gtest.h>

namespace {

struct LocaleCase {
    const char* lcAll;
    const char* lcCtype;
    const char* lang;
    codepages::Pair pair;
};

// What Windows (under wine, with the same LC_ALL) gives each locale.
const LocaleCase kLocaleCases[] = {
    {"de_DE.UTF-8", nullptr, nullptr, {850, 1252}},
    {"en_GB.UTF-8", nullptr, nullptr, {850, 1252}},
    {"en_US.UTF-8", nullptr, nullptr, {437, 1252}},
    {"ru_RU.KOI8-R", nullptr, nullptr, {866, 1251}},  // the codeset is ignored
    {"pl_PL", nullptr, nullptr, {852, 1250}},
    {"el_GR.UTF-8", nullptr, nullptr, {737, 1253}},
    {"tr_TR.UTF-8", nullptr, nullptr, {857, 1254}},
    {"he_IL.UTF-8", nullptr, nullptr, {862, 1255}},
    {"ar_SA.UTF-8", nullptr, nullptr, {720, 1256}},
    {"lt_LT.UTF-8", nullptr, nullptr, {775, 1257}},
    {"vi_VN.UTF-8", nullptr, nullptr, {1258, 1258}},
    {"th_TH.UTF-8", nullptr, nullptr, {874, 874}},
    {"ja_JP.UTF-8", nullptr, nullptr, {932, 932}},
    {"hi_IN.UTF-8", nullptr, nullptr, {65001, 65001}},  // Unicode only: UTF-8
    {"ru", nullptr, nullptr, {866, 1251}},              // a language alone
    {"sr_RS@latin", nullptr, nullptr, {852, 1250}},
    {"sr_RS.UTF-8@cyrillic", nullptr, nullptr, {855, 1251}},
    {"sr@latin", nullptr, nullptr, {852, 1250}},
    {"be_BY@latin", nullptr, nullptr, {437, 1252}},    // no such Windows locale
    {"tt_RU@iqtelif", nullptr, nullptr, {866, 1251}},  // other modifiers are ignored
    {"de_DE@euro", nullptr, nullptr, {850, 1252}},
    {"tg_TJ", nullptr, nullptr, {866, 1251}},   // Windows' tg-Cyrl-TJ
    {"ckb_IQ", nullptr, nullptr, {720, 1256}},  // an alias Windows resolves to ku-Arab-IQ, never enumerated
    {"fa_AF", nullptr, nullptr, {720, 1256}},   // another alias Windows resolves
    {"DE_de", nullptr, nullptr, {850, 1252}},
    {"de-DE", nullptr, nullptr, {850, 1252}},
    {"C", nullptr, nullptr, {437, 1252}},
    {"C.UTF-8", nullptr, nullptr, {437, 1252}},
    {"POSIX", nullptr, nullptr, {437, 1252}},
    {"X", nullptr, nullptr, {437, 1252}},       // one letter, not C: a locale Windows does not know
    {".UTF-8", nullptr, nullptr, {437, 1252}},  // a character set alone
    {"xx_YY", nullptr, nullptr, {437, 1252}},
    {"de_XX", nullptr, nullptr, {437, 1252}},  // a territory Windows lacks: unknown
    {"sr_RS_with_a_name_far_too_long@latin", nullptr, nullptr, {437, 1252}},
    // LC_ALL before LC_CTYPE before LANG; empty values are skipped.
    {"ru_RU", "de_DE", "pl_PL", {866, 1251}},
    {"", "de_DE", "pl_PL", {850, 1252}},
    {nullptr, "", "pl_PL", {852, 1250}},
    {nullptr, nullptr, nullptr, {437, 1252}},
    {"", "", "", {437, 1252}},
};

TEST(CodePageLocales, PairsAsWindowsGivesThem)
{
    for (const LocaleCase& c : kLocaleCases) {
        SCOPED_TRACE(std::string(c.lcAll ? c.lcAll : "(unset)") + " / " + (c.lcCtype ? c.lcCtype : "(unset)") + " / " +
                     (c.lang ? c.lang : "(unset)"));
        const codepages::Pair pair = codepages::ForLocaleVariables(c.lcAll, c.lcCtype, c.lang);
        EXPECT_EQ(pair.m_oem, c.pair.m_oem);
        EXPECT_EQ(pair.m_ansi, c.pair.m_ansi);
    }
}

struct PairCase {
    const char* text;
    bool accepted;
    codepages::Pair pair;
    uint16_t localeOem = 437;  // what "utf-8" alone pairs with UTF-8
};

const PairCase kPairCases[] = {
    {"866:1251", true, {866, 1251}},
    {"437:1252", true, {437, 1252}},
    {"1258:874", true, {1258, 874}},  // any OEM page with any ANSI page
    {"932:932", true, {932, 932}},
    {"65001:65001", true, {65001, 65001}},
    {"1251:866", false, {}},  // the places swapped
    {"437:437", false, {}},
    {"1252:1252", false, {}},
    {"932:1252", false, {}},
    {"932:936", false, {}},
    {"866", false, {}},
    {"866:", false, {}},
    {":1251", false, {}},
    {"866:1251:1", false, {}},
    {"866:1251 ", false, {}},
    {"+866:1251", false, {}},
    {"866:0x4e3", false, {}},
    {"65537:1252", false, {}},
    {"000000437:1252", false, {}},
    {"0850:1252", false, {}},  // pages as Windows writes them: no leading zero
    {"850:01252", false, {}},
    {"", false, {}},
    {"437:utf-8", true, {437, 65001}},
    {"866:UTF8", true, {866, 65001}},
    {"1258:65001", true, {1258, 65001}},
    {"65001:Utf-8", true, {65001, 65001}},
    {"utf-8", true, {866, 65001}, 866},
    {"UTF8", true, {65001, 65001}, 65001},  // a locale whose pages are UTF-8: text left as it is
    {"utf-8", false, {}, 932},              // a double-byte OEM page
    {"932:utf-8", false, {}},
    {"1252:utf-8", false, {}},
    {"utf-8:437", false, {}},
    {"437:utf-16", false, {}},
    {"437:utf-8 ", false, {}},
    {"utf", false, {}},
};

TEST(CodePageLocales, ExplicitPairs)
{
    for (const PairCase& c : kPairCases) {
        SCOPED_TRACE(c.text);
        codepages::Pair pair{1, 2};
        EXPECT_EQ(codepages::ParsePair(c.text, &pair, c.localeOem), c.accepted);
        EXPECT_EQ(pair.m_oem, c.accepted ? c.pair.m_oem : 1);
        EXPECT_EQ(pair.m_ansi, c.accepted ? c.pair.m_ansi : 2);
    }
}

}  // namespace
