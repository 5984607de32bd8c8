// The indexes against a plain model under random edits, inside and outside bulk updates: every
// look-up finds exactly the records holding the text, in record order, and every language's
// order stays a permutation of the records with equal texts side by side.
#include <gtest/gtest.h>

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

} // namespace
