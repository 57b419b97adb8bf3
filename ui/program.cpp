#include "program.h"

Program::Program(std::unique_ptr<ConverterDriver> driver)
    : store_(std::make_unique<RecordStore>()),
      ownDriver_(std::move(driver)),
      ownPrompts_(std::make_unique<QtUserPrompts>()) {
  createWindows(*ownDriver_, *ownPrompts_);
  ownPrompts_->setParent(main_.get());
}

Program::Program(ConverterDriver& driver, UserPrompts& prompts)
    : store_(std::make_unique<RecordStore>()) {
  createWindows(driver, prompts);
}

void Program::createWindows(ConverterDriver& driver, UserPrompts& prompts) {
  main_ = std::make_unique<TForm1>(*store_, table_, driver, prompts);
  monitor_ = std::make_unique<TForm2>(*main_, prompts);
  monitor_->show();
  notes_ = std::make_unique<TForm3>();
  help_ = std::make_unique<TForm4>();
  monitor_->monitor().setNotesSink(notes_.get());
  main_->attachWindows(monitor_.get(), notes_.get(), help_.get());
  statistics_ =
      std::make_unique<StatisticsWindow>(*store_, *main_, monitor_->monitor(), main_->recorder());
  main_->recorder().addListener(statistics_.get());
  main_->attachStatistics(statistics_.get());
  QObject::connect(monitor_.get(), &TForm2::viewUpdated, statistics_.get(),
                   &StatisticsWindow::refresh);
  QObject::connect(main_.get(), &TForm1::runStopped, statistics_.get(), &StatisticsWindow::refresh);
  QObject::connect(monitor_.get(), &TForm2::statisticsRequested, main_.get(),
                   [this] { TForm1::bringForward(statistics_.get()); });
}
