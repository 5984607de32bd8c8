// The indexes against a plain model under random edits, inside and outside bulk updates: every
// look-up finds exactly the records holding the text, in record order, and every language's
// order stays a permutation of the records with equal texts side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "core/QEMUtils.h"
#include "platform/QEMSysUtils.h"
#include "repository/QEMNewRepositoryEngine.h"
#include "support/TestSupport.h"

namespace {

constexpr LCID En = 0x0409, De = 0x0407;

std::u16string Folded(std::u16string S) {
  for (size_t at; (at = S.find(u"\r\n")) != std::u16string::npos;)
    S.erase(at, 1);
  return S;
}

TEST(RepositoryIndexTest, LookupsAndOrderAgreeWithAModelUnderRandomEdits) {
  qemtest::TTempDir dir;
  QEMRepositorySetFileName(dir.U16("rep.tmx"));
  const auto rep = QEMRepositoryGetRepository();
  // Few words, so that many records share one; case and line breaks tell texts apart or not.
  std::vector<std::u16string> words;
  for (int i = 0; i < 60; ++i)
    words.push_back(UTF8ToUTF16("w" + std::to_string(i)));
  words.insert(words.end(), {u"Case", u"case", u"two\r\nlines", u"two\nlines", u""});
  std::vector<std::pair<std::u16string, std::u16string>> model; // per record: en, de
  std::mt19937 rnd(5);
  int serial = 0;
  const auto check = [&](int Round) {
    std::map<std::u16string, std::vector<std::u16string>> expected;
    for (const auto& [en, de] : model)
      if (!en.empty() && !de.empty()) expected[Folded(en)].push_back(de);
    for (const auto& w : words) {
      if (w.empty()) continue;
      TQEMWideStringList l;
      QEMRepositoryGetString(w, En, l, De, u"");
      std::vector<std::u16string> got;
      for (int i = 0; i < l.GetCount(); ++i)
        got.push_back(l.Get(i));
      ASSERT_EQ(got, expected[Folded(w)]) << "round " << Round << " word " << UTF16ToUTF8(w);
    }
    // Back from translations, of records added or changed just now among them.
    for (size_t k = 0; k < model.size(); k += 1 + model.size() / 7) {
      const size_t r = model.size() - 1 - k;
      if (model[r].second.empty()) continue;
      TQEMWideStringList l;
      QEMRepositoryGetString(model[r].second, De, l, En, u"");
      const std::vector<std::u16string> want = model[r].first.empty()
                                                   ? std::vector<std::u16string>{}
                                                   : std::vector<std::u16string>{model[r].first};
      std::vector<std::u16string> got;
      for (int i = 0; i < l.GetCount(); ++i)
        got.push_back(l.Get(i));
      ASSERT_EQ(got, want) << "round " << Round << " back from " << UTF16ToUTF8(model[r].second);
    }
  };
  for (int round = 0; round < 40; ++round) {
    const bool batch = round % 3 != 0;
    if (batch) QEMRepositoryBeginUpdate();
    for (int k = 0; k < 150; ++k) {
      const unsigned op = rnd() % 10;
      if (op < 5 || model.empty()) {
        const auto& w = words[rnd() % words.size()];
        const std::u16string de = UTF8ToUTF16("d" + std::to_string(serial++));
        rep->AddRecord()->SetString(u"en-US", w);
        rep->GetRecord(rep->RecCount() - 1)->SetString(u"de-DE", de);
        model.push_back({w, de});
      } else if (op < 9) {
        const int r = int(rnd() % model.size());
        const bool en = rnd() % 2;
        const std::u16string t =
            en ? words[rnd() % words.size()] : UTF8ToUTF16("d" + std::to_string(serial++));
        rep->GetRecord(r)->SetString(en ? u"en-US" : u"de-DE", t);
        (en ? model[size_t(r)].first : model[size_t(r)].second) = t;
      } else {
        const int r = int(rnd() % model.size());
        ASSERT_TRUE(rep->DeleteRecord(r));
        model.erase(model.begin() + r);
      }
      if (k % 50 == 0) check(round); // inside a bulk update too
    }
    if (batch) QEMRepositoryEndUpdate();
    check(round);
    const auto& list = rep->GetIndexList();
    for (int l = 0; l < list.Count(); ++l) {
      const auto& ix = list.Index(l);
      const std::u16string tag = list.Languages().LangTag(l);
      ASSERT_EQ(ix.Count(), rep->RecCount());
      std::vector<bool> seen(size_t(rep->RecCount()));
      std::map<std::u16string, int> lastAt;
      for (int p = 0; p < ix.Count(); ++p) {
        const int r = ix.Item(p);
        ASSERT_TRUE(r >= 0 && r < rep->RecCount() && !seen[size_t(r)]);
        seen[size_t(r)] = true;
        ASSERT_EQ(ix.PositionOf(r), p);
        // Equal texts side by side: a text seen before was seen just before.
        const std::u16string t = Folded(rep->GetRecord(r)->GetString(tag));
        if (const auto at = lastAt.find(t); at != lastAt.end()) {
          ASSERT_EQ(at->second, p - 1);
        }
        lastAt[t] = p;
      }
    }
  }
  QEMRepositorySetFileName(u"");
}

// Texts of ASCII alone are found without collation keys until something needs them; they must
// still meet the texts that collate equal to them (an ignorable soft hyphen or zero-width space,
// the Kelvin sign, a decomposed umlaut), whichever side came first, loaded or added, in a bulk
// update or not, and the order made later must hold every record.
TEST(RepositoryIndexTest, CollationEqualTextsMeetWithAndWithoutKeys) {
  const std::vector<std::vector<std::u16string>> classes = {{u"ab", u"a\u00ADb", u"a\u200Bb"},
                                                            {u"K", u"\u212A"},
                                                            {u"\u00DCber", u"U\u0308ber"},
                                                            {u"Case"},
                                                            {u"case"},
                                                            {u"two\r\nlines", u"two\nlines"},
                                                            {u"a b"}};
  const auto classOf = [&](const std::u16string& T) {
    for (size_t c = 0; c < classes.size(); ++c)
      if (std::find(classes[c].begin(), classes[c].end(), T) != classes[c].end()) return c;
    return classes.size();
  };
  qemtest::TTempDir dir;
  std::vector<std::pair<std::u16string, std::u16string>> model; // per record: en, de
  const auto add = [&](const std::u16string& En) {
    const auto rep = QEMRepositoryGetRepository();
    const std::u16string de = UTF8ToUTF16("d" + std::to_string(model.size()));
    rep->AddRecord()->SetString(u"en-US", En);
    rep->GetRecord(rep->RecCount() - 1)->SetString(u"de-DE", de);
    model.push_back({En, de});
  };
  const auto check = [&](const std::u16string& W, const char* Step) {
    std::vector<std::u16string> expected, got;
    for (const auto& [en, de] : model)
      if (classOf(en) == classOf(W)) expected.push_back(de);
    TQEMWideStringList l;
    QEMRepositoryGetString(W, En, l, De, u"");
    for (int i = 0; i < l.GetCount(); ++i)
      got.push_back(l.Get(i));
    ASSERT_EQ(got, expected) << Step << ": " << UTF16ToUTF8(W);
  };
  const auto checkAll = [&](const char* Step, bool AsciiFirst) {
    for (const bool ascii : {AsciiFirst, !AsciiFirst})
      for (const auto& c : classes)
        for (const auto& w : c)
          if (std::all_of(w.begin(), w.end(), [](char16_t C) { return C < 0x80; }) == ascii)
            check(w, Step);
  };
  // Only ASCII texts in the file: the index starts without a single key.
  QEMRepositorySetFileName(dir.U16("rep.tmx"));
  for (const auto& c : classes)
    if (std::all_of(c[0].begin(), c[0].end(), [](char16_t C) { return C < 0x80; })) add(c[0]);
  QEMRepositorySave();
  for (const bool batch : {false, true}) {
    QEMRepositorySetFileName(dir.U16("rep.tmx"));
    check(u"ab", "loaded");
    if (batch) QEMRepositoryBeginUpdate();
    for (const auto& c : classes)
      for (const auto& w : c)
        add(w); // each seen at once, also inside the bulk update
    checkAll(batch ? "added in a batch" : "added", true);
    if (batch) QEMRepositoryEndUpdate();
    checkAll("after the adds", false);
    QEMRepositorySave();
  }
  // A file with every form, looked up first by another text, then by order.
  QEMRepositorySetFileName(dir.U16("rep.tmx"));
  checkAll("reloaded", false);
  const auto rep = QEMRepositoryGetRepository();
  const auto& ix = rep->GetIndexList().Index(rep->GetIndexList().Languages().IndexOf(u"en-US"));
  ASSERT_EQ(ix.Count(), rep->RecCount());
  std::vector<size_t> seen;
  for (int p = 0; p < ix.Count(); ++p) {
    const size_t c = classOf(rep->GetRecord(ix.Item(p))->GetString(u"en-US"));
    if (!seen.empty() && seen.back() == c) continue;
    ASSERT_EQ(std::count(seen.begin(), seen.end(), c), 0) << "class " << c << " split";
    seen.push_back(c);
  }
  ASSERT_EQ(seen.size(), classes.size());
  add(u"a\u00ADb"); // into the order, one by one
  checkAll("ordered", true);
  QEMRepositorySetFileName(u"");
}

// A language whose every text needed a collation key takes ASCII texts added later without
// one: the texts that collate equal to them still meet them, added before or after, in a bulk
// update or not, and the order made at the end holds them all.
TEST(RepositoryIndexTest, ASCIITextsAddedToAKeyedLanguageMeetTheirEquals) {
  const std::vector<std::vector<std::u16string>> classes = {
      {u"ab", u"a\u00ADb"}, {u"K", u"\u212A"}, {u"two\r\nlines", u"two\nlines"}, {u"\u00DCber"}};
  const auto classOf = [&](const std::u16string& T) {
    for (size_t c = 0; c < classes.size(); ++c)
      if (std::find(classes[c].begin(), classes[c].end(), T) != classes[c].end()) return c;
    return classes.size();
  };
  const auto ascii = [](const std::u16string& T) {
    return std::all_of(T.begin(), T.end(), [](char16_t C) { return C < 0x80; });
  };
  qemtest::TTempDir dir;
  std::vector<std::pair<std::u16string, std::u16string>> model; // per record: de, en
  const auto add = [&](const std::u16string& De) {
    std::u16string en = u"e";
    en += UTF8ToUTF16(std::to_string(model.size()));
    ASSERT_TRUE(QEMRepositoryAddString(De, 0x0407, en, 0x0409, u""));
    model.push_back({De, en});
  };
  const auto check = [&](const char* Step) {
    for (const auto& c : classes)
      for (const auto& w : c) {
        std::vector<std::u16string> expected, got;
        for (const auto& [de, en] : model)
          if (classOf(de) == classOf(w)) expected.push_back(en);
        TQEMWideStringList l;
        QEMRepositoryGetString(w, 0x0407, l, 0x0409, u"");
        for (int i = 0; i < l.GetCount(); ++i)
          got.push_back(l.Get(i));
        ASSERT_EQ(got, expected) << Step << ": " << UTF16ToUTF8(w);
      }
  };
  QEMRepositorySetFileName(dir.U16("rep.tmx"));
  for (int i = 0; i < 50; ++i)
    add(u"\u00C4nderung " + UTF8ToUTF16(std::to_string(i)));
  QEMRepositorySave();
  for (const bool batch : {false, true}) {
    QEMRepositorySetFileName(dir.U16("rep.tmx"));
    check("loaded"); // every text keyed
    if (batch) QEMRepositoryBeginUpdate();
    for (const bool first : {true, false}) // ASCII ones first, then their equals
      for (const auto& c : classes)
        for (const auto& w : c)
          if (ascii(w) == first) {
            add(w);
            check(batch ? "in a batch" : "added");
          }
    if (batch) QEMRepositoryEndUpdate();
    check("after the adds");
    const auto rep = QEMRepositoryGetRepository();
    const auto& ix = rep->GetIndexList().Index(rep->GetIndexList().Languages().IndexOf(u"de-DE"));
    ASSERT_EQ(ix.Count(), rep->RecCount());
    std::vector<std::u16string> seen; // equal texts side by side
    for (int p = 0; p < ix.Count(); ++p) {
      const std::u16string t = rep->GetRecord(ix.Item(p))->GetString(u"de-DE");
      const size_t c = classOf(t);
      const std::u16string k = c < classes.size() ? classes[c][0] : t;
      if (!seen.empty() && seen.back() == k) continue;
      ASSERT_EQ(std::count(seen.begin(), seen.end(), k), 0) << UTF16ToUTF8(k) << " split";
      seen.push_back(k);
    }
    add(u"a\u00ADb"); // into the order
    check("ordered");
    QEMRepositorySave();
  }
  QEMRepositorySetFileName(u"");
}

// Where a language's collation sets spaces aside (Thai) or joins ASCII letters (Danish "aa"),
// ASCII texts are not their own keys: look-ups still find what collates equal.
TEST(RepositoryIndexTest, LanguagesThatCollateASCIIOtherwiseStillFindEqualTexts) {
  qemtest::TTempDir dir;
  QEMRepositorySetFileName(dir.U16("rep.tmx"));
  const auto rep = QEMRepositoryGetRepository();
  struct TCase {
    LCID Lcid;
    std::u16string Tag, Stored, Asked;
  };
  const std::vector<TCase> cases = {{0x041E, u"th-TH", u"a\tb", u"ab"},
                                    {0x0406, u"da-DK", u"aa\u00AD", u"aa"}};
  for (const auto& c : cases) {
    const int r = rep->RecCount();
    rep->AddRecord()->SetString(c.Tag, c.Stored);
    rep->GetRecord(r)->SetString(u"de-DE", u"x" + c.Tag);
    TQEMWideStringList l;
    QEMRepositoryGetString(c.Asked, c.Lcid, l, 0x0407, u"");
    ASSERT_EQ(l.GetCount(), 1) << UTF16ToUTF8(c.Tag);
    EXPECT_EQ(l.Get(0), u"x" + c.Tag);
  }
  QEMRepositorySetFileName(u"");
}

} // namespace
