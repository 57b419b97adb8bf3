// The main window as the record's fields (what the recorder and the files read and set in its
// controls) and as the settings' target.
#include "main_window.h"

QString TForm1::fileLabel() const { return LbFile->text(); }

void TForm1::setFileLabel(const QString& text) {
  LbFile->setText(text);
  LbFile->setAccessibleName(text);
}

bool TForm1::recording() const {
  return recorder_.timers().rowEnabled() || Stop->isVisibleTo(this);
}

bool TForm1::channelSelected(int channel) const { return CBCh[channel]->isChecked(); }
void TForm1::setChannelSelected(int channel, bool selected) { CBCh[channel]->setChecked(selected); }
QString TForm1::unitLabel(int channel) const { return EdCH[channel]->text(); }
void TForm1::setUnitLabel(int channel, const QString& label) { EdCH[channel]->setText(label); }
QString TForm1::experiment() const { return EdExperiment->text(); }
void TForm1::setExperiment(const QString& text) { EdExperiment->setText(text); }
QString TForm1::startTime() const { return Lbdatetime->text(); }
void TForm1::setStartTime(const QString& text) {
  Lbdatetime->setText(text);
  Lbdatetime->setAccessibleName(text);
}
void TForm1::setPortText(const QString& text) { EdComNr->setText(text); }
QString TForm1::portText() const { return EdComNr->text(); }
void TForm1::setReadingInterval(int milliseconds) { recorder_.setReadingInterval(milliseconds); }
void TForm1::setInitialDirectory(const QString& folder) {
  saveDirectory_ = folder;
  openDirectory_ = folder;
}
