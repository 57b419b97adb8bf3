#include "prompt_selection.h"

#include <QEvent>
#include <QTimer>

namespace {
class PromptSelector : public QObject {
 public:
  explicit PromptSelector(QLineEdit* field) : QObject(field), prompt_(field->text()) {
    field->installEventFilter(this);
  }
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::FocusIn) {
      auto* field = static_cast<QLineEdit*>(watched);
      // After the event: a mouse press places the cursor once the focus has arrived.
      QTimer::singleShot(0, field, [field, prompt = prompt_] {
        if (field->hasFocus() && field->text() == prompt) field->selectAll();
      });
    }
    return false;
  }

 private:
  QString prompt_;
};
}  // namespace

void selectPromptOnFocus(QLineEdit* field) { new PromptSelector(field); }
