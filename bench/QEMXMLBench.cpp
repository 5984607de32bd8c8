// The formatted save against the plain one on a notes-like body: the formatted save must stay a
// small constant factor of the serialiser's own work and grow linearly.
//
#include <benchmark/benchmark.h>

#include <ostream>
#include <streambuf>

#include "core/QEMXMLUtils.h"
#include "platform/QEMSysUtils.h"

#include <pugixml.hpp>

namespace {
// Counts what is written so the stream itself costs nothing.
class TNullBuf : public std::streambuf {
public:
  size_t Size = 0;

protected:
  int_type overflow(int_type C) override {
    ++Size;
    return C;
  }
  std::streamsize xsputn(const char*, std::streamsize N) override {
    Size += size_t(N);
    return N;
  }
};

const std::u16string Head =
    u"<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n<xliff version=\"1.0\" />";

// Elements counts the trans-unit, source and target elements of the body.
std::shared_ptr<TQEMXMLDocument> MakeNotes(int64_t Elements) {
  auto doc = CreateNewDocument();
  LoadFromString(*doc, u"<xliff version=\"1.0\"><file original=\"demo.rc\"><body/></file></xliff>");
  const TQEMXMLNode body =
      FindChildElement(FindChildElement(doc->DocumentElement(), u"file"), u"body");
  for (int64_t i = 0; i < Elements / 3; ++i) {
    const TQEMXMLNode unit = body.AppendElement(u"trans-unit");
    unit.SetAttribute(u"id", u"STR_" + IntToStr(i));
    unit.SetAttribute(u"resname", u"IDS_ITEM" + IntToStr(i));
    SetTextToNode(unit.AppendElement(u"source"), u"Open the file " + IntToStr(i) + u" & save it");
    SetTextToNode(unit.AppendElement(u"target"), u"\u00D6ffne die Datei " + IntToStr(i));
  }
  // Measured as loaded from disk, the form the formatted save is used on.
  auto loaded = CreateNewDocument();
  LoadFromBytes(*loaded, SaveToBytes(*doc));
  return loaded;
}

void BM_SaveFormattedDocument(benchmark::State& State) {
  auto doc = MakeNotes(State.range(0));
  TNullBuf buf;
  std::ostream out(&buf);
  for (auto _ : State)
    SaveFormattedDocument(*doc, out, Head);
  State.SetComplexityN(State.range(0));
  State.SetItemsProcessed(State.iterations() * State.range(0));
  State.counters["bytes"] = double(buf.Size) / double(State.iterations());
}

void BM_SaveToStream(benchmark::State& State) {
  auto doc = MakeNotes(State.range(0));
  TNullBuf buf;
  std::ostream out(&buf);
  for (auto _ : State)
    SaveToStream(*doc, out);
  State.SetComplexityN(State.range(0));
  State.SetItemsProcessed(State.iterations() * State.range(0));
  State.counters["bytes"] = double(buf.Size) / double(State.iterations());
}

void BM_PugixmlSave(benchmark::State& State) {
  // The same document in pugixml's own hands.
  pugi::xml_document doc;
  const std::string bytes = SaveToBytes(*MakeNotes(State.range(0)));
  doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default | pugi::parse_declaration);
  TNullBuf buf;
  std::ostream out(&buf);
  for (auto _ : State)
    doc.save(out, "", pugi::format_raw, pugi::encoding_utf8);
  State.SetComplexityN(State.range(0));
  State.SetItemsProcessed(State.iterations() * State.range(0));
  State.counters["bytes"] = double(buf.Size) / double(State.iterations());
}
BENCHMARK(BM_PugixmlSave)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

BENCHMARK(BM_SaveToStream)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
BENCHMARK(BM_SaveFormattedDocument)
    ->RangeMultiplier(10)
    ->Range(10000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);
} // namespace

BENCHMARK_MAIN();
