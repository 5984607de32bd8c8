#pragma once
// What the desktop program's tests share: a main that starts the library against a private
// settings hive and a Qt application on the offscreen platform, and an answerer for the modal
// boxes a test provokes.
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

class QWidget;

namespace hlxguitest {

int Main(int argc, char** argv, const std::function<std::unique_ptr<QObject>()>& Make);

// Answers each modal dialog as it comes up (progress windows excepted), in order: with the next
// queued answer, else by pressing Enter (the default button). Records what each one said.
class TModalAnswerer : public QObject {
  Q_OBJECT
public:
  using TAnswer = std::function<void(QWidget& Dialog)>;
  TModalAnswerer();
  void Queue(TAnswer Answer) { FQueue.push_back(std::move(Answer)); }
  // The text of a message box, else the dialog's title.
  const QStringList& Seen() const { return FSeen; }
  size_t Pending() const { return FQueue.size(); }

  static TAnswer Key(int Key);
  // Clicks the button whose text, without its accelerator, is Text.
  static TAnswer Click(std::u16string_view Text);

private:
  void Poll();
  QTimer FTimer;
  std::deque<TAnswer> FQueue;
  QStringList FSeen;
};

// The bundled example copied into a fresh folder, with its translation memory in use.
class TExample {
public:
  TExample();
  ~TExample();
  const std::filesystem::path& Dir() const;
  std::u16string Project() const;
  // Notes files written below the example's folder.
  int NotesFileCount() const;

private:
  struct TImpl;
  std::unique_ptr<TImpl> FImpl;
};

} // namespace hlxguitest

#define HLX_GUI_TEST_MAIN(TestClass)                                                               \
  int main(int argc, char** argv) {                                                                \
    return hlxguitest::Main(argc, argv, [] { return std::make_unique<TestClass>(); });             \
  }
