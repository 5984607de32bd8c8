#include "workspace/QEMCommandLine.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include <CLI/CLI.hpp>

#include "core/QEMUtilsFiles.h"
#include "platform/QEMFiles.h"
#include "platform/QEMFormat.h"
#include "resources/QEMConst.h"

THlxCommandLine::THlxCommandLine() = default;
THlxCommandLine::~THlxCommandLine() = default;

namespace {

EHLXException UsageError(const std::u16string& Why) {
  return EHLXException(Format(SHlxTryHelp, Why));
}

std::u16string FullPath(const std::u16string& Name) {
  std::error_code ec;
  const auto full = std::filesystem::absolute(QEMNativePath(Name), ec);
  return ec ? Name : UTF8ToUTF16(full.lexically_normal().string());
}

// The switch as the user typed it, without a value joined by "=".
std::u16string SwitchName(const std::u16string& Arg) {
  return Arg.substr(0, Arg.find(u'='));
}

// CLI11 with our rules on top: switches ignore case, the last of a repeated switch wins, a
// value switch refuses an empty value, and every refusal is a usage error in our words.
// The arguments before "--" are the ones that may be switches. Setting the switches up costs
// CLI11 far more than a parse, so one parser serves every parse of its thread: each parse
// starts from cleared values, and the targets are the parser's own.
class TSwitchParser {
public:
  TSwitchParser() {
    FApp.set_help_flag();
    FApp.allow_extras(); // unknown switches are named by us, in our words
    FApp.option_defaults()->ignore_case()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  }

  void Flag(const std::string& Names, bool& Target) {
    FApp.add_flag(Names, Target);
    FFlags.push_back(&Target);
  }
  // A switch that may be repeated, one value each time; every value is kept.
  void Values(const std::string& Names, std::vector<std::u16string>& Target) {
    TValue& v = FValues.emplace_back();
    v.Opt = FApp.add_option(Names, v.Texts)
                ->expected(1)
                ->allow_extra_args(false)
                ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    v.List = &Target;
  }
  // Target is set by Finish, once the whole command line was accepted.
  void Value(const std::string& Names, std::u16string& Target) {
    TValue& v = FValues.emplace_back();
    v.Opt = FApp.add_option(Names, v.Text);
    v.Target = &Target;
  }
  // After the last switch.
  void Close() { FApp.add_option("project", FProjects); }

  // Clears every flag and value, then parses Args (which must outlive Finish).
  void Parse(const std::vector<std::u16string>& Args);
  // Refuses what Parse let through, sets the values' targets and returns the project named,
  // empty for none.
  std::u16string Finish();

private:
  struct TValue {
    CLI::Option* Opt = nullptr;
    std::string Text;
    std::u16string* Target = nullptr;
    std::vector<std::string> Texts;
    std::vector<std::u16string>* List = nullptr;
  };

  bool IsValueSwitch(const std::string& Name) const {
    return std::any_of(FValues.begin(), FValues.end(),
                       [&](const TValue& v) { return v.Opt->check_name(Name); });
  }
  void Clear();
  std::vector<std::string> SwitchesForCLI11() const;
  void RefuseEmptyJoinedValues() const;
  void RefuseLeftovers() const;
  void RefuseEmptyValues() const;

  const std::vector<std::u16string>* FArgsSeen = nullptr;
  size_t FSwitchEnd = 0;
  CLI::App FApp;
  std::vector<bool*> FFlags;
  std::deque<TValue> FValues; // CLI11 holds on to each Text
  std::vector<std::string> FProjects;
  const std::vector<std::u16string>& Given() const { return *FArgsSeen; }
};

void TSwitchParser::Clear() {
  for (bool* f : FFlags)
    *f = false;
  for (TValue& v : FValues) {
    v.Text.clear();
    v.Texts.clear();
    if (v.Target) v.Target->clear();
    if (v.List) v.List->clear();
  }
  FProjects.clear();
}

// CLI11 takes its arguments reversed.
std::vector<std::string> TSwitchParser::SwitchesForCLI11() const {
  std::vector<std::string> reversed;
  for (size_t i = Given().size(); i-- > 0;) {
    std::string arg = UTF16ToUTF8(Given()[i]);
    // "-L=FILE" as "--log=FILE"; CLI11 would keep the "=" in the value.
    if (i < FSwitchEnd && arg.size() > 2 && arg[0] == '-' && arg[1] != '-' && arg[2] == '=' &&
        IsValueSwitch(arg.substr(0, 2)))
      arg.erase(2, 1);
    reversed.push_back(std::move(arg));
  }
  return reversed;
}

// CLI11 reads "--log=" as "--log" and takes the next argument: refused here instead.
void TSwitchParser::RefuseEmptyJoinedValues() const {
  for (size_t i = 0; i < FSwitchEnd; ++i) {
    if (Given()[i].size() < 3 || !Given()[i].starts_with(u"--") || !Given()[i].ends_with(u"="))
      continue;
    const std::u16string name = SwitchName(Given()[i]);
    if (IsValueSwitch(UTF16ToUTF8(name))) throw UsageError(Format(SHlxMissingValue, name));
    throw UsageError(Format(SHlxUnknownSwitch, name));
  }
}

void TSwitchParser::Parse(const std::vector<std::u16string>& Args) {
  Clear();
  FArgsSeen = &Args;
  FSwitchEnd = size_t(std::ranges::find(Args, u"--") - Args.begin());
  RefuseEmptyJoinedValues();
  try {
    FApp.parse(SwitchesForCLI11());
  } catch (const CLI::ArgumentMismatch&) {
    // A value is taken even when it looks like a switch, so only the last argument can lack
    // one.
    const std::u16string last = FSwitchEnd > 0 ? SwitchName(Given()[FSwitchEnd - 1]) : u"";
    throw UsageError(Format(SHlxMissingValue, last));
  } catch (const CLI::ParseError&) {
    throw UsageError(std::u16string(SInvalidCommandLine));
  }
}

// Unknown switches, switch-like words CLI11 took for projects, and a second project.
void TSwitchParser::RefuseLeftovers() const {
  for (const std::string& extra : FApp.remaining())
    if (extra != "--") throw UsageError(Format(SHlxUnknownSwitch, SwitchName(UTF8ToUTF16(extra))));
  for (size_t i = 0; i < FSwitchEnd; ++i)
    if (Given()[i].size() > 1 && Given()[i][0] == u'-' &&
        std::find(FProjects.begin(), FProjects.end(), UTF16ToUTF8(Given()[i])) != FProjects.end())
      throw UsageError(Format(SHlxUnknownSwitch, SwitchName(Given()[i])));
  if (FProjects.size() > 1)
    throw UsageError(
        Format(SHlxTwoProjects, UTF8ToUTF16(FProjects.at(0)), UTF8ToUTF16(FProjects.at(1))));
}

// An empty value names no file either; the refusal names the switch as it was typed.
void TSwitchParser::RefuseEmptyValues() const {
  for (const TValue& v : FValues) {
    const bool empty = v.List ? std::any_of(v.Texts.begin(), v.Texts.end(),
                                            [](const std::string& T) { return T.empty(); })
                              : v.Text.empty();
    if (v.Opt->count() == 0 || !empty) continue;
    std::u16string typed = UTF8ToUTF16(v.Opt->get_name());
    for (size_t i = 0; i < FSwitchEnd; ++i)
      if (v.Opt->check_name(UTF16ToUTF8(SwitchName(Given()[i])))) typed = SwitchName(Given()[i]);
    throw UsageError(Format(SHlxMissingValue, typed));
  }
}

std::u16string TSwitchParser::Finish() {
  RefuseLeftovers();
  RefuseEmptyValues();
  for (const TValue& v : FValues) {
    if (v.Target) *v.Target = UTF8ToUTF16(v.Text);
    if (v.List)
      for (const std::string& t : v.Texts)
        v.List->push_back(UTF8ToUTF16(t));
  }
  return FProjects.empty() ? std::u16string() : UTF8ToUTF16(FProjects[0]);
}

} // namespace

// A new switch is a line here and a field of TSwitches.
void THlxCommandLine::ParseCmdLine(const std::vector<std::u16string>& Args) {
  struct TTable {
    TSwitchParser Parser;
    TSwitches S;
    bool Integration = false, Egg = false, StartUp = false;
    TExchangeSwitches Exchange;
    TTable() {
      TSwitchParser& p = Parser;
      p.Flag("-I", Integration);
      p.Flag("-E", Egg);
      p.Value("-L,--log", S.LogFileName);
      p.Value("-O,--output", S.OutputFileName);
      p.Value("--repository", S.RepositoryFileName);
      p.Value("--import-tmx", S.ImportTmxFileName);
      p.Value("--export-tmx", S.ExportTmxFileName);
      p.Flag("--quiet", S.Quiet);
      p.Flag("--json", S.Json);
      p.Flag("--warnings", S.Warnings);
      p.Flag("-T,--translator,--nomerge", StartUp); // read when the library starts
      p.Flag("-h,--help,-?", S.Help);
      p.Flag("--version", S.Version);
      p.Value("--export", Exchange.Export);
      p.Value("--import", Exchange.Import);
      p.Value("--format", Exchange.Format);
      p.Values("--language", S.Languages);
      p.Values("--file", S.Files);
      p.Close();
    }
  };
  thread_local TTable table;
  FSwitches = {};
  table.S = {};
  table.Exchange = {};
  table.Parser.Parse(Args);
  if (table.S.Help || table.S.Version) {
    FSwitches = table.S;
    return;
  }
  const std::u16string project = table.Parser.Finish();
  FSwitches = table.S;
  ApplyExchangeSwitches(table.Exchange,
                        table.Integration || table.Egg || TmxRun() || FSwitches.Warnings, project);
  ApplyRunSwitches(table.Integration, table.Egg, project);
}

// Names are made full and the files of a batch default to the project's folder.
void THlxCommandLine::ApplyRunSwitches(bool Integration, bool Egg, const std::u16string& Project) {
  TSwitches& s = FSwitches;
  if (Egg)
    s.Mode = ecmEggInteg; // it runs the updaters as well
  else if (Integration)
    s.Mode = ecmIntegration;
  s.BatchMode =
      s.Mode != ecmNone || s.Exchange != THlxExchangeRun::erNone || TmxRun() || s.Warnings;
  s.OutputGiven = !s.OutputFileName.empty();
  for (std::u16string* name : {&s.RepositoryFileName, &s.ImportTmxFileName, &s.ExportTmxFileName})
    if (!name->empty()) *name = FullPath(*name);
  if (s.Warnings && Project.empty()) throw UsageError(std::u16string(SListWarningsNeedsProject));
  if (Project.empty()) return;
  s.FileName = FullPath(Project);
  const std::u16string dir = ExtractFilePath(s.FileName);
  if (s.LogFileName.empty()) s.LogFileName = dir + u"log.txt";
  if (s.OutputFileName.empty()) s.OutputFileName = dir + u"out.txt";
}

namespace {

// The shape of a BCP 47 tag: a language of letters, then subtags of letters and digits. The
// language table is not loaded yet when the command line is checked; whether a project has
// the language is the run's to say.
bool LooksLikeLangTag(std::u16string_view Tag) {
  size_t part = 0, len = 0;
  for (const char16_t c : Tag) {
    if (c == u'-') {
      if (len == 0 || (part == 0 && len < 2)) return false;
      ++part;
      len = 0;
      continue;
    }
    const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
    if (!letter && !(part > 0 && c >= u'0' && c <= u'9')) return false;
    if (++len > 8) return false;
  }
  return len > 0 && (part > 0 || len >= 2);
}

} // namespace

// One export or one import, on a project, and nothing else in the same run.
void THlxCommandLine::ApplyExchangeSwitches(const TExchangeSwitches& X, bool Run,
                                            const std::u16string& Project) {
  TSwitches& s = FSwitches;
  if (!X.Export.empty() && !X.Import.empty()) throw UsageError(std::u16string(SExchangeOneRun));
  const std::u16string& path = X.Export.empty() ? X.Import : X.Export;
  const char16_t* name = X.Export.empty() ? u"--import" : u"--export";
  if (X.Export.empty()) {
    for (const auto& [given, sw] : {std::pair{!X.Format.empty(), u"--format"},
                                    {!s.Languages.empty(), u"--language"},
                                    {!s.Files.empty(), u"--file"}})
      if (given) throw UsageError(Format(SExchangeOnlyWithExport, sw));
  }
  if (path.empty()) return;
  if (Run) throw UsageError(std::u16string(SExchangeOneRun));
  if (Project.empty()) throw UsageError(Format(SExchangeNeedsProject, name));
  const std::u16string format = QEMLowerCase(X.Format);
  if (!format.empty() && format != u"xliff" && format != u"po")
    throw UsageError(Format(SExchangeUnknownFormat, X.Format));
  for (const std::u16string& tag : s.Languages)
    if (!LooksLikeLangTag(tag)) throw UsageError(Format(SExchangeBadLanguage, tag));
  s.Exchange = X.Export.empty() ? THlxExchangeRun::erImport : THlxExchangeRun::erExport;
  s.ExchangePath = FullPath(path);
  s.ExportPO = format == u"po";
}

void THlxCommandLine::CheckNamedFiles() const {
  if (BatchMode() && !FileName().empty() && !FileExists(FileName()))
    throw EHLXException(Format(SFileNotFound, FileName()));
  if (ExchangeRun() == THlxExchangeRun::erImport && !FileExists(ExchangePath()) &&
      !DirectoryExists(ExchangePath()))
    throw EHLXException(Format(SExchangeNotFound, ExchangePath()));
  if (!RepositoryFileName().empty() && !FileExists(RepositoryFileName()))
    throw EHLXException(Format(SHlxRepositoryNotFound, RepositoryFileName()));
  if (!ImportTmxFileName().empty() && !FileExists(ImportTmxFileName()))
    throw EHLXException(Format(SFileNotFound, ImportTmxFileName()));
}

void THlxCommandLine::WriteLog() {
  if (!BatchMode() || LogFileName().empty()) return;
  std::string text;
  for (const auto& line : FLogStrings)
    text += UTF16ToUTF8(line) + '\n';
  const std::string path = QEMNativePath(LogFileName());
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  struct stat st {};
  bool ok = fd >= 0 && fstat(fd, &st) == 0;
  // Runs are separated by an empty line.
  if (ok && st.st_size > 0) text.insert(0, "\n");
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) done += size_t(n);
  }
  const int err = errno;
  if (fd >= 0 && close(fd) != 0) ok = false;
  if (!ok) {
    const std::string msg = UTF16ToUTF8(
        Format(SCmdCannotWriteLog, LogFileName(), UTF8ToUTF16(std::strerror(err ? err : EIO))));
    std::fprintf(stderr, "%s\n", msg.c_str());
    if (FErrorCount == 0) FErrorCount = 1;
  }
}
