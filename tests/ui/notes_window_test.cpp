// The notes window in plot mode: each redraw leaves exactly the notes of the rows it drew.
#include "notes_window.h"

#include <gtest/gtest.h>

namespace {

// Steps of the time window change only the notes that left or came; the box must read the
// same as if it had been filled anew, whatever the step, and after text typed into it.
TEST(NotesWindowTest, EachRedrawLeavesExactlyItsNotes) {
  TForm3 notes;
  QStringList all;
  for (int i = 0; i < 10; ++i) all << QStringLiteral("%1.00-> note %1").arg(i);
  const struct {
    const char* what;
    QStringList lines;
  } redraws[] = {
      {"the first", all.mid(0, 6)},     {"a step on", all.mid(2, 6)},
      {"a step back", all.mid(0, 5)},   {"zoomed in", all.mid(1, 2)},
      {"zoomed out", all.mid(0, 8)},    {"the same", all.mid(0, 8)},
      {"elsewhere", all.mid(8, 2)},     {"no notes", {}},
      {"back again", all.mid(3, 4)},    {"one left", all.mid(6, 1)},
      {"one before it", all.mid(5, 2)}, {"repeated texts", {"a", "b", "a", "c"}},
      {"one of them", {"a", "c"}},
  };
  for (const auto& redraw : redraws) {
    notes.showNotes(redraw.lines);
    EXPECT_EQ(notes.memo()->toPlainText(), redraw.lines.join('\n')) << redraw.what;
  }
  notes.memo()->appendPlainText(QStringLiteral("typed"));
  notes.showNotes({"a", "c", "d"});
  EXPECT_EQ(notes.memo()->toPlainText(), QStringLiteral("a\nc\nd")) << "typed text replaced";
}

}  // namespace
