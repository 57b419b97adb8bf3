#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QTimer>

#include "channel_scaling_dialog.h"
#include "data_file.h"
#include "publishing_dialog.h"
#include "ui_fixture.h"
#include "user_settings.h"

namespace {

// A scaled channel as a user records it: set in the dialog before row 1, its unit everywhere,
// the record naming its conversion, the scaling kept for the next start and written after
// Velan.ini's eight lines.
TEST_F(WindowsTest, AScaledChannelRecordsSavesAndExportsInItsUnit) {
  child<QCheckBox>("CbCh2")->setChecked(true);
  child<QLineEdit>("EdCH2")->setText(QStringLiteral("°C"));
  child<QLineEdit>("EdCH1")->setText(QStringLiteral("V"));
  EXPECT_EQ(child<QGroupBox>("GBCh2")->title(), QStringLiteral(" Ch. 2 (°C) "));
  EXPECT_EQ(child<QLabel>("CursorUnit")->text(), QStringLiteral("V")) << "channel 1's scale";
  driver.opens = true;
  for (int c : {1, 2}) driver.readings[c] = {1638, 1638, 1638};  // 1000 mV: 50 °C
  main->StartClick();
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    dialog->findChild<QLineEdit*>("Ch. 2 factor")->setText("0.1");
    dialog->findChild<QLineEdit*>("Ch. 2 offset")->setText("-50");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  main->channelScalingClick();  // OK before row 1 is stored: its start note is written again
  storeRows(1);
  EXPECT_EQ(table->cell(DataTable::kNotesColumn, 1),
            main->startTime() + QStringLiteral("  Ch. 2 scaling: °C = 0.1 x mV - 50"));
  main->StopClick();
  prompts.saveNames = {path("scaled.vln"), path("scaled.csv")};
  main->Saveas1Click();
  main->exportCsvClick();
  QFile csv(path("scaled.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly));
  const QString exported = QString::fromUtf8(csv.readAll());
  EXPECT_TRUE(exported.contains("Ch. 2 (°C)") && exported.contains(",1000.00,50.00,"));

  destroy();  // no Velan.ini: the scaling comes back from the user's settings, with its unit
  build();
  EXPECT_EQ(child<QLineEdit>("EdCH2")->text(), QStringLiteral("°C"));
  main->saveSettingsClick();
  QFile ini(path("Velan.ini"));
  ASSERT_TRUE(ini.open(QIODevice::ReadOnly));
  EXPECT_TRUE(ini.readAll().endsWith("0.1<Channel 2 factor>\r\n-50<Channel 2 offset>\r\n"));
  store->dataSaved = true;
  ASSERT_TRUE(main->openProcedure(path("scaled.vln")));
  EXPECT_DOUBLE_EQ(store->value[2][1], 50.0) << "a file's values are taken as stored";

  // A new scaling during a run: the rows so far go into a part in their unit, the run goes on
  // in the next part in the new one; no file mixes the two.
  UserSettings::setRecordingsFolder(path("parts"));
  child<QCheckBox>("CbCh2")->setChecked(true);
  store->dataSaved = true;
  main->StartClick();
  for (int c : {1, 2}) driver.readings[c] = std::deque<std::optional<int32_t>>(9, 1638);
  storeRows(2);
  QTimer::singleShot(0, [] {
    QWidget* dialog = QApplication::activeModalWidget();
    dialog->findChild<QLineEdit*>("Ch. 2 factor")->setText("0.001");
    dialog->findChild<QLineEdit*>("Ch. 2 offset")->setText("0");
    dialog->findChild<QLineEdit*>("Ch. 2 unit")->setText("V");
    QMetaObject::invokeMethod(dialog, "accept");
  });
  main->channelScalingClick();
  storeRows(1);
  const QStringList parts = QDir(path("parts")).entryList({QStringLiteral("*.vln")});
  ASSERT_EQ(parts.size(), 1);
  const auto first = loadDataFile(QDir(path("parts")).filePath(parts[0]), true, QLatin1Char('.'));
  ASSERT_TRUE(first && first->rowCount == 2);
  EXPECT_EQ(first->unitLabels[2], QStringLiteral("°C"));
  EXPECT_DOUBLE_EQ(first->value[2][1], 50.0);
  EXPECT_EQ(table->cell(DataTable::kNotesColumn, 1),
            main->startTime() + QStringLiteral("  Ch. 2 scaling: V = 0.001 x mV  (continues ") +
                parts[0] + QStringLiteral(", part 2)"));
  EXPECT_EQ(table->cell(2, 1), QStringLiteral("1.0000")) << "a converter step shows in V";
  main->StopClick();
}

TEST(ChannelScalingDialog, CalibratesTheChosenChannelAndTakesOnlyNumbers) {
  // Only channel 2's newest reading is 1000 mV: "Latest" must take the chosen channel's.
  ChannelScalingDialog dialog({}, {"", "mV", "°C", "pH", "mS"}, QLatin1Char(','),
                              [](int c) { return c == 2 ? 1000.0037 : -7.0; });
  const auto edit = [&](const char* name) { return dialog.findChild<QLineEdit*>(name); };
  const auto message = [&] { return dialog.findChild<QLabel*>("ScalingMessage")->text(); };
  dialog.findChild<QComboBox*>()->setCurrentIndex(1);
  dialog.takeLatestReading(1);
  EXPECT_EQ(edit("Reading 1 (mV)")->text(), QStringLiteral("1000,00")) << "as a row shows mV";
  edit("True value 1")->setText("50");
  edit("Reading 2 (mV)")->setText("500");
  edit("True value 2")->setText("0");
  ASSERT_TRUE(dialog.applyCalibration());
  EXPECT_EQ(message(), QStringLiteral("Ch. 2 scaling: °C = 0,1 x mV - 50 (taken on OK)"));
  edit("Reading 2 (mV)")->setText("1000");
  EXPECT_FALSE(dialog.applyCalibration());
  EXPECT_EQ(edit("Ch. 2 factor")->text(), QStringLiteral("0,1")) << "a refusal changes nothing";

  edit("Ch. 3 offset")->setText("x");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(message(), QStringLiteral("Ch. 3 offset: 'x' ist kein gültiger Gleitkommawert"));
  edit("Ch. 3 offset")->setText("1,5");
  edit("Ch. 1 factor")->setText("2");
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted) << "channel 1 scaled, still labelled mV";
  EXPECT_TRUE(message().startsWith("Ch. 1 unit: scaled values are not millivolts"));
  edit("Ch. 1 unit")->setText("V");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.scalings()[2], (ChannelScaling{0.1, -50}));
  EXPECT_EQ(dialog.scalings()[1], (ChannelScaling{2, 0}));
  EXPECT_EQ(dialog.units()[1], QStringLiteral("V"));
}

// A set-up that cannot publish is refused on OK, with its reason, not at the next Start.
TEST(PublishingDialog, RefusesABrokerOrTopicThatCannotBeOne) {
  PublishSettings settings;
  settings.enabled = true;
  PublishingDialog dialog(settings);
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted) << "publishing to no broker";
  dialog.findChild<QLineEdit*>("Broker")->setText(QStringLiteral("mqtt://broker.lab:70000"));
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted);
  EXPECT_TRUE(dialog.findChild<QLabel*>("PublishingProblem")->text().contains("out of range"));
  dialog.findChild<QLineEdit*>("Broker")->setText(QStringLiteral("mqtt://broker.lab"));
  dialog.findChild<QLineEdit*>("Topic")->setText(QStringLiteral("lab/#"));
  dialog.accept();
  EXPECT_NE(dialog.result(), QDialog::Accepted) << "a wildcard topic";
  dialog.findChild<QLineEdit*>("Topic")->setText(QStringLiteral("lab/velan1"));
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.settings().topic, QStringLiteral("lab/velan1"));
}

}  // namespace
