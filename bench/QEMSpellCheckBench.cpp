// Spell checking and quality warnings over the translations of a file of 100,000 items (German
// user-interface texts with compounds, accelerators, specifiers and a few typing errors), the
// dictionary load, and the editor's case: one visible text checked, a misspelt word's
// suggestions.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "QEMLibrary.h"
#include "platform/QEMSysUtils.h"
#include "toolkit/QEMQualityChecks.h"
#include "toolkit/QEMSpellCheck.h"

namespace {

constexpr int kItems = 100000;

const std::vector<std::u16string> kNouns = {
    u"Datei",    u"Ordner",    u"Projekt",  u"Sprache",   u"Übersetzung", u"Drucker", u"Verbindung",
    u"Server",   u"Benutzer",  u"Kennwort", u"Hilfe",     u"Seite",       u"Zeile",   u"Spalte",
    u"Tabelle",  u"Vorlage",   u"Ansicht",  u"Schrift",   u"Größe",       u"Farbe",   u"Fenster",
    u"Eintrag",  u"Liste",     u"Name",     u"Wert",      u"Fehler",      u"Meldung", u"Suche",
    u"Auswahl",  u"Bild",      u"Text",     u"Nummer",    u"Adresse",     u"Konto",   u"Bericht",
    u"Speicher", u"Sicherung", u"Version",  u"Schlüssel", u"Zugriff"};
// Nouns that join the next one without a linking letter, so the compounds are real words.
const std::vector<std::u16string> kHeads = {
    u"Datei", u"Ordner",  u"Projekt", u"Drucker", u"Server",   u"Benutzer", u"Kennwort",
    u"Hilfe", u"Schrift", u"Fenster", u"Eintrag", u"Wert",     u"Fehler",   u"Auswahl",
    u"Bild",  u"Text",    u"Konto",   u"Bericht", u"Speicher", u"Schlüssel"};
const std::vector<std::u16string> kWords = {
    u"die",       u"der",       u"wurde",     u"erfolgreich", u"gespeichert", u"bitte",
    u"wählen",    u"Sie",       u"einen",     u"aus",         u"schließen",   u"öffnen",
    u"verwerfen", u"speichern", u"nicht",     u"gefunden",    u"ändern",      u"von",
    u"löschen",   u"kopieren",  u"einfügen",  u"suchen",      u"ersetzen",    u"alle",
    u"markieren", u"neu",       u"vorhanden", u"ungültig",    u"konnte",      u"werden",
    u"ist",       u"bereits",   u"mit",       u"für",         u"den",         u"das"};

std::u16string Lower(std::u16string S) {
  return QEMLowerCase(S);
}

// A typing error: two neighbouring letters swapped.
std::u16string Typo(std::u16string W, std::mt19937& Rng) {
  if (W.size() < 4) return W + u"x";
  const size_t i = 1 + Rng() % (W.size() - 2);
  std::swap(W[i], W[i + 1]);
  return W;
}

struct TPair {
  std::u16string Orig, Xlat;
};

const std::vector<TPair>& Texts() {
  static const std::vector<TPair> texts = [] {
    std::mt19937 rng(20261207);
    std::vector<TPair> r;
    r.reserve(kItems);
    for (int i = 0; i < kItems; ++i) {
      std::u16string x;
      const int words = 3 + int(rng() % 8);
      for (int w = 0; w < words; ++w) {
        std::u16string word;
        const unsigned pick = rng() % 10;
        if (pick < 3) {
          word = kNouns[rng() % kNouns.size()];
        } else if (pick < 5) { // a compound
          word = kHeads[rng() % kHeads.size()] + Lower(kNouns[rng() % kNouns.size()]);
        } else {
          word = kWords[rng() % kWords.size()];
        }
        if (rng() % 40 == 0) word = Typo(word, rng);
        if (w == 0 && rng() % 4 == 0) word = word.substr(0, 1) + u"&" + word.substr(1);
        if (!x.empty()) x += u' ';
        x += word;
      }
      if (rng() % 5 == 0) x += u" %s";
      if (rng() % 5 == 0) x += u" (" + IntToStr(rng() % 5000) + u")";
      x += rng() % 3 ? u"." : u"";
      r.push_back({u"&Source text %s number " + IntToStr(i) + u".", std::move(x)});
    }
    return r;
  }();
  return texts;
}

void BM_LoadDictionary(benchmark::State& State) {
  for (auto _ : State) {
    TQEMSpellChecker s(u"de-DE");
    if (!s.Enabled()) State.SkipWithError("the German dictionary is not installed");
    benchmark::DoNotOptimize(s.Enabled());
  }
}

// Every translation of the file, as a warnings list gathers them; a fresh checker each time, so
// no verdict is remembered from the run before.
void BM_SpellCheckFile(benchmark::State& State) {
  const auto& texts = Texts();
  size_t misspelt = 0;
  for (auto _ : State) {
    State.PauseTiming();
    auto s = std::make_unique<TQEMSpellChecker>(u"de-DE");
    if (!s->Enabled()) {
      State.SkipWithError("the German dictionary is not installed");
      break;
    }
    State.ResumeTiming();
    misspelt = 0;
    for (const TPair& p : texts)
      misspelt += s->Check(p.Xlat).size();
    State.PauseTiming();
    s.reset();
    State.ResumeTiming();
  }
  State.counters["misspelt"] = double(misspelt);
  State.counters["items"] = kItems;
}

// The editor's underline: one text of typical length; the checker has seen the file's words.
void BM_CheckVisibleText(benchmark::State& State) {
  const auto& texts = Texts();
  TQEMSpellChecker s(u"de-DE");
  if (!s.Enabled()) {
    State.SkipWithError("the German dictionary is not installed");
    return;
  }
  for (const TPair& p : texts)
    s.Check(p.Xlat);
  size_t i = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(s.Check(texts[i].Xlat));
    i = (i + 7919) % texts.size();
  }
}

// The same with words never seen before: the first look at a text.
void BM_CheckVisibleTextCold(benchmark::State& State) {
  if (!TQEMSpellChecker(u"de-DE").Enabled()) {
    State.SkipWithError("the German dictionary is not installed");
    return;
  }
  const std::u16string text = u"Die Projektdatei wurde nicht gefunden: Bitte wählen Sie einen "
                              u"anderen Speicherort für die Sicherungskopie.";
  for (auto _ : State) {
    State.PauseTiming();
    auto fresh = std::make_unique<TQEMSpellChecker>(u"de-DE");
    State.ResumeTiming();
    benchmark::DoNotOptimize(fresh->Check(text));
    State.PauseTiming();
    fresh.reset(); // unloading the dictionary is not the check's cost
    State.ResumeTiming();
  }
}

// The context menu of a misspelt word.
void BM_Suggest(benchmark::State& State) {
  TQEMSpellChecker s(u"de-DE");
  if (!s.Enabled()) {
    State.SkipWithError("the German dictionary is not installed");
    return;
  }
  const std::vector<std::u16string> words = {u"Fehlr", u"Dtaei", u"Übersetzng", u"Projketdatei"};
  size_t i = 0;
  for (auto _ : State) {
    benchmark::DoNotOptimize(s.Suggest(words[i]));
    i = (i + 1) % words.size();
  }
}

// The quality warnings of the whole file.
void BM_QualityFile(benchmark::State& State) {
  const auto& texts = Texts();
  TQEMQualityCheckSettings settings;
  size_t warnings = 0;
  for (auto _ : State) {
    warnings = 0;
    for (const TPair& p : texts)
      warnings += QEMCheckQuality(p.Orig, p.Xlat, rsTranslated, settings).size();
  }
  State.counters["warnings"] = double(warnings);
}

} // namespace

BENCHMARK(BM_LoadDictionary)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SpellCheckFile)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CheckVisibleText)->Unit(benchmark::kMicrosecond);
// Each iteration loads a dictionary untimed: a few are enough.
BENCHMARK(BM_CheckVisibleTextCold)->Iterations(30)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Suggest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_QualityFile)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  char tmpl[] = "/tmp/hlx-spell-bench-XXXXXX";
  const std::filesystem::path dir = mkdtemp(tmpl);
  setenv("HLX_REGISTRY", (dir / "registry.db").c_str(), 1);
  QEMKeepFreedMemory();
  QEMInitialize();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  QEMFinalize();
  std::filesystem::remove_all(dir);
  return 0;
}
