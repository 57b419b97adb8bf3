#include "program.h"

Program::Program()
    : store_(std::make_unique<RecordStore>()),
      main_(std::make_unique<TForm1>(*store_, table_, driver_, prompts_)) {
  prompts_.setParent(main_.get());
  monitor_ = std::make_unique<TForm2>(*main_, prompts_);
  monitor_->show();
  notes_ = std::make_unique<TForm3>();
  help_ = std::make_unique<TForm4>();
  monitor_->monitor().setNotesSink(notes_.get());
  main_->attachWindows(monitor_.get(), notes_.get(), help_.get());
}
