#include "qt/name_compare.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QString>

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace kvb;

TEST(LocaleNameSort, IgnoresCaseAndPutsEqualNamesInByteOrder)
{
    std::vector<std::string> names = {"b.tex", "B.TEX", "a.mid", "C.bin", "A.MID", "c.bin"};
    LocaleNameSort()(names);
    EXPECT_EQ(names, (std::vector<std::string>{"A.MID", "a.mid", "B.TEX", "b.tex", "C.bin", "c.bin"}));
}

// The order of Qt's own collator in the C locale, names equal to it in byte order.
std::vector<std::string> SortedByQt(std::vector<std::string> names)
{
    QCollator collator{QLocale::c()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::sort(names.begin(), names.end(), [&](const std::string &a, const std::string &b) {
        const int by = collator.sortKey(QString::fromStdString(a).toCaseFolded())
                           .compare(collator.sortKey(QString::fromStdString(b).toCaseFolded()));
        return by != 0 ? by < 0 : a < b;
    });
    return names;
}

// In the C locale the names are ordered by keys of our own; they must give the order of Qt's
// collator keys, for ASCII and for names Unicode folds otherwise than byte by byte.
TEST(LocaleNameSort, CLocaleOrdersAsQtsCollator)
{
    // clang-format off
    const std::vector<std::string> names = {
        "b.tex", "B.TEX", "_z", "[a]", "~1", "10.bin", "9.bin", "a b", "a-b", "ab", "AB",
        "\xC3\x84rger.mid",       // Ärger
        "\xC3\xA4rger.mid",       // ärger
        "\xC3\x84z", "\xC3\xA4" "a", // Äz, äa: folded, äa comes first
        "\xCE\xA3" "b", "\xCF\x83" "a", // Σb, σa
        "Stra\xC3\x9F" "e",       // Straße
        "STRASSE", "strasse",
        "\xCE\xA3\xCE\xA3",       // ΣΣ
        "\xCF\x82\xCF\x83",       // ςσ
        "\xC4\xB0stanbul",        // İstanbul
        "istanbul", "zz", "ZZ", "\x7F", "\xEF\xBD\x81", // full-width a
        // Alike in their first eight bytes, apart after them.
        "level01.tex", "LEVEL01.MID", "level01.bin", "Level01", "level01.", "level01.b",
    };
    // clang-format on
    std::vector<std::string> ours = names;
    LocaleNameSort(QLocale::c())(ours);
    EXPECT_EQ(ours, SortedByQt(names));

    // Many names, short and long, many alike in their first bytes.
    std::mt19937 random(7);
    const std::string letters = "aAbBzZ09._- ~";
    std::vector<std::string> many;
    for (int i = 0; i < 5000; ++i) {
        std::string name(1 + random() % 14, ' ');
        for (char &c : name)
            c = letters[random() % letters.size()];
        many.push_back(name);
    }
    ours = many;
    LocaleNameSort(QLocale::c())(ours);
    EXPECT_EQ(ours, SortedByQt(many));
}

TEST(LocaleNameSort, ALanguageKeepsItsOwnOrder)
{
    // German puts Ä with A, where byte order puts it after Z.
    std::vector<std::string> names = {"Zebra", "\xC3\x84pfel", "Affe"};
    LocaleNameSort(QLocale(QLocale::German, QLocale::Germany))(names);
    EXPECT_EQ(names, (std::vector<std::string>{"Affe", "\xC3\x84pfel", "Zebra"}));
}
