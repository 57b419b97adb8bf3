#include "data_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <memory>
#include <thread>

#include "csv_export.h"
#include "data_file_fixture.h"
#include "date_time_text.h"
#include "file_access.h"
#include "numbers.h"
#include "ordinary_user.h"
#include "plain_record_fields.h"
#include "text_lines.h"
#include "velan_error.h"

namespace {

const QByteArray kHeader =
    "<Velan data file>Glucose\r\n21.10.2005  16:08:42<Start time of recording>\r\n"
    "mV<Channel 1>\r\n<Channel 2 not used>\r\nmV<Channel 3>\r\n<Channel 4 not used>\r\n"
    "2<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>\r\n";

TEST_F(DataFileTest, WritesTheExactBytesInEitherModeAndSeparator) {
  const QByteArray point = kHeader + "1.0;-14.04;0.50;21.10.2005  16:08:42\r\n2.0;-9.24;0.00;\r\n";
  const QByteArray comma = kHeader + "1,0;-14,04;0,50;21.10.2005  16:08:42\r\n2,0;-9,24;0,00;\r\n";
  EXPECT_EQ(write(true, QLatin1Char('.')), point);
  EXPECT_EQ(write(false, QLatin1Char('.')), point);
  EXPECT_EQ(write(false, QLatin1Char(',')), point);
  EXPECT_EQ(write(true, QLatin1Char(',')), comma);
  table.keepNotesOnly();  // a recorder's table: the same file from the notes alone
  table.setTableRowCount(4);
  table.setCell(5, 1, QStringLiteral("21.10.2005  16:08:42"));
  table.setCell(5, 2, QStringLiteral("gone"));
  table.setCell(5, 2, DataTable::blank());
  table.setCell(5, 3, QStringLiteral("beyond the rows kept"));
  table.setTableRowCount(3);
  table.setCell(1, 1, QStringLiteral("not kept"));
  EXPECT_EQ(write(true, QLatin1Char('.')), point);
  EXPECT_EQ(table.cell(1, 1), DataTable::blank());
}

TEST_F(DataFileTest, NotesKeepCommasAndSemicolonsInBothModes) {
  table.setCell(5, 2, QStringLiteral("a, b; c"));
  for (bool mode : {true, false}) {
    const QByteArray bytes = write(mode, QLatin1Char(','));
    EXPECT_TRUE(bytes.endsWith(mode ? "2,0;-9,24;0,00;a, b; c\r\n" : "2.0;-9.24;0.00;a, b; c\r\n"));
    if (mode) {
      const auto staged = read(bytes, mode, QLatin1Char(','));
      ASSERT_TRUE(staged);
      EXPECT_EQ(staged->cells[1][5], QStringLiteral("a, b; c"));
      EXPECT_EQ(staged->cells[1][0], QStringLiteral("2.0")) << "display step: first comma";
      EXPECT_EQ(staged->cells[1][1], QStringLiteral("-9.24")) << "of every number cell";
    } else {
      // A point-mode file on a comma system fails at its first number.
      EXPECT_EQ(errorOf([&] { read(bytes, mode, QLatin1Char(',')); }),
                QStringLiteral("'1.0' ist kein gültiger Gleitkommawert"));
    }
  }
}

TEST_F(DataFileTest, WriteReadWriteGivesTheSameBytes) {
  // Times keep one decimal at any size, so the rows of a long run never share a time; the
  // values keep their five significant digits.
  const struct {
    double time;
    const char* text;
  } times[] = {{12345.67, "12345.7"}, {1e5, "100000.0"}, {1e6, "1000000.0"}, {5e7, "50000000.0"}};
  store->rowCount = 2 + static_cast<int>(std::size(times));
  for (int i = 0; i < static_cast<int>(std::size(times)); ++i) store->time[3 + i] = times[i].time;
  store->value[1][3] = 12345.678;
  store->value[1][4] = -0.004;
  table.setCell(5, 3, QStringLiteral(" lead blank"));
  table.setCell(5, 4, QStringLiteral(" "));
  const QByteArray first = write(true, QLatin1Char('.'));
  auto staged = read(first);
  ASSERT_TRUE(staged);
  for (int i = 0; i < static_cast<int>(std::size(times)); ++i) {
    EXPECT_TRUE(first.contains(QByteArray("\n") + times[i].text + ';')) << times[i].text;
    EXPECT_DOUBLE_EQ(staged->time[static_cast<size_t>(2 + i)], std::round(times[i].time * 10) / 10);
  }
  DataTable table2;
  EXPECT_EQ(rewritten(std::move(*staged), table2), first);
  EXPECT_TRUE(first.contains("12345.7;12346.00;0.00; lead blank\r\n"));
  EXPECT_EQ(table2.tableRowCount(), 25 + 6);
  // A channel in volts (factor 0.001) keeps one converter step, and a file keeps its decimals.
  store->valueDecimals[3] = valueDecimals({0.001, 0});
  store->value[3][3] = 0.001 / 1.638;
  const QByteArray volts = write(true, QLatin1Char('.'));
  EXPECT_TRUE(volts.contains("12345.7;12346.00;0.0006; lead blank\r\n")) << volts.constData();
  DataTable table3;
  EXPECT_EQ(rewritten(std::move(*read(volts)), table3), volts);
}

TEST_F(DataFileTest, MissingValuesAreEmptyFieldsBothWays) {
  store->value[1][1] = kMissingValue;
  store->value[3][2] = kMissingValue;
  for (QChar separator : {QChar(u'.'), QChar(u'\u066B')}) {  // the byte path and the text path
    const QString lines = QStringLiteral("1.0;;0.50;21.10.2005  16:08:42\r\n2.0;-9.24;;\r\n");
    EXPECT_TRUE(
        write(true, separator)
            .endsWith(QString(lines)
                          .replace(QStringLiteral(".0;"), QString(separator) + QStringLiteral("0;"))
                          .replace(QStringLiteral(".50"), QString(separator) + QStringLiteral("50"))
                          .replace(QStringLiteral(".24"), QString(separator) + QStringLiteral("24"))
                          .toUtf8()));
  }
  const QByteArray bytes = write(true, QLatin1Char('.'));
  QByteArray blanks = bytes;
  blanks.replace("2.0;-9.24;;", "2.0;-9.24;   ;");
  for (const QByteArray& file : {bytes, blanks}) {
    auto staged = read(file);
    ASSERT_TRUE(staged);
    EXPECT_TRUE(isMissing(staged->value[1][0]));
    EXPECT_TRUE(isMissing(staged->value[3][1]));
    EXPECT_EQ(staged->cells[1][3], DataTable::blank());
    DataTable table2;
    EXPECT_EQ(rewritten(std::move(*staged), table2), bytes);
  }
  // An INF (an older Velan's overflowing scaling) opens as missing and is counted, not refused.
  const auto infinite = read(QByteArray(bytes).replace("-9.24", "-INF"));
  ASSERT_TRUE(infinite);
  EXPECT_TRUE(isMissing(infinite->value[1][1]) && infinite->notFiniteValues == 1);
  EXPECT_EQ(errorOf([&] { read(kHeader + ";1.00;2.00;\r\n"); }),
            QStringLiteral("'' ist kein gültiger Gleitkommawert"))
      << "the time is never missing";
  // Channels the file does not hold are missing in the store, not an older record's or 0.
  auto opened = std::make_unique<RecordStore>();
  opened->value[2].fill(5.0);
  opened->value[4].fill(5.0);
  PlainRecordFields openedFields;
  DataTable openedTable;
  applyStagedRecord(std::move(*read(bytes)), *opened, openedTable, openedFields);
  EXPECT_TRUE(isMissing(opened->value[2][1]) && isMissing(opened->value[4][2]));
}

TEST_F(DataFileTest, EmptyRecordAndEmptyDescription) {
  store->rowCount = 0;
  fields.setExperiment(QString());
  const QByteArray bytes = write(true, QLatin1Char('.'));
  EXPECT_TRUE(bytes.startsWith("<Velan data file>\r\n"));
  EXPECT_TRUE(bytes.endsWith("\r\n0<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>\r\n"));
  EXPECT_EQ(bytes.count("\r\n"), 7);
  const auto staged = read(bytes);
  ASSERT_TRUE(staged);
  EXPECT_EQ(staged->rowCount, 0);
  EXPECT_TRUE(staged->experiment.isEmpty());
}

TEST_F(DataFileTest, HeaderTextsSurviveAngleBracketsWhereTheFormatAllows) {
  fields.setExperiment(QStringLiteral("a<b>c"));
  fields.setUnitLabel(1, QStringLiteral("m<V"));
  const auto staged = read(write(true, QLatin1Char('.')));
  ASSERT_TRUE(staged);
  EXPECT_EQ(staged->experiment, QStringLiteral("a<b>c"));
  EXPECT_EQ(staged->unitLabels[1], QStringLiteral("m"));
}

TEST_F(DataFileTest, UnrecognisedFirstLinesChangeNothing) {
  for (const QByteArray& first :
       {QByteArray("<velan data file>x"), QByteArray(" <Velan data file>"), QByteArray(""),
        QByteArray("\x1a<Velan data file>")}) {
    EXPECT_FALSE(read(first + "\r\nrest\r\n")) << first.constData();
  }
}

TEST_F(DataFileTest, ChannelLinesAreReadByTheirNotUsedText) {
  const QByteArray bytes =
      "<Velan data file>\r\nx<Start time of recording>\r\nV<Channel 1>\r\n2 not used\r\n"
      "my 3 not used label<Channel 3>\r\n<Channel 4>\r\n1<lines>\r\n1.0;2.0;3.0;\r\n";
  const auto staged = read(bytes);
  ASSERT_TRUE(staged);
  EXPECT_TRUE(staged->selected[1]);
  EXPECT_FALSE(staged->selected[2]);
  EXPECT_FALSE(staged->selected[3]);
  EXPECT_TRUE(staged->selected[4]);
  EXPECT_TRUE(staged->unitLabels[4].isEmpty());
  EXPECT_DOUBLE_EQ(staged->value[4][0], 3.0);
}

TEST_F(DataFileTest, ByteRulesForLineEnds) {
  // CR alone ends a line; a bare LF does not; byte 26 ends the file; extra lines are ignored.
  const QByteArray crOnly =
      QByteArray(kHeader).replace("\r\n", "\r") + "1.0;1.00;2.00;\r2.0;3.00;4.00;\rextra\r";
  const auto staged = read(crOnly);
  ASSERT_TRUE(staged);
  EXPECT_EQ(staged->rowCount, 2);
  EXPECT_DOUBLE_EQ(staged->value[3][1], 4.0);

  const QByteArray bareLf = QByteArray(kHeader).replace("\r\n", "\n") + "1.0;1.00;2.00;\n";
  EXPECT_EQ(errorOf([&] { read(bareLf); }), QStringLiteral("'' ist kein gültiger Integerwert"));

  const QByteArray cut = kHeader +
                         "1.0;1.00;2.00;\r\n\x1a"
                         "2.0;3.00;4.00;\r\n";
  EXPECT_EQ(errorOf([&] { read(cut); }), QStringLiteral("'' ist kein gültiger Gleitkommawert"));
}

TEST_F(DataFileTest, BadInputGivesTheMessageOfItsFirstFault) {
  struct Case {
    QByteArray tail;
    const char* message;
  } const cases[] = {
      {"1.0;1.00;", "'' ist kein gültiger Gleitkommawert"},  // short file
      {"1.0;x;2.00;\r\n", "'x' ist kein gültiger Gleitkommawert"},
      {"1.0\r\n", "'' ist kein gültiger Gleitkommawert"},  // no ";" at all
  };
  for (const Case& c : cases) {
    EXPECT_EQ(errorOf([&] { read(kHeader + c.tail); }), QString::fromUtf8(c.message));
  }
  const QByteArray nul = kHeader + QByteArray("1.0;\0;2;\r\n", 10);
  EXPECT_TRUE(
      errorOf([&] { read(nul); }).endsWith(QStringLiteral("ist kein gültiger Gleitkommawert")));
  QByteArray counts = kHeader;
  counts.replace("2<lines", "100001<lines");
  EXPECT_EQ(errorOf([&] { read(counts); }),
            QStringLiteral("Too many data lines: 100001 (at most 100000)"));
  counts.replace("100001<lines", "-1<lines");
  EXPECT_EQ(errorOf([&] { read(counts); }), QStringLiteral("'-1' ist kein gültiger Integerwert"));
  counts.replace("-1<lines", "2 <lines");
  EXPECT_EQ(errorOf([&] { read(counts); }), QStringLiteral("'2 ' ist kein gültiger Integerwert"));
}

TEST_F(DataFileTest, DecodesUtf8AndFallsBackToWindows1252) {
  EXPECT_EQ(decodeLine(QByteArray("Gl\xc3\xbc"
                                  "cose")),
            QStringLiteral("Glücose"));
  EXPECT_EQ(decodeLine(QByteArray("Gl\xfc"
                                  "cose \x80")),
            QStringLiteral("Glücose €"));
  EXPECT_EQ(encodeLine(QStringLiteral("ü")), QByteArray("\xc3\xbc\r\n"));
}

TEST_F(DataFileTest, LineReaderHandlesChunkBoundariesAndHugeLines) {
  constexpr int kRead = 65536;  // what the reader asks the device for at a time
  QByteArray bytes(3 * kRead - 1, 'a');
  bytes += "\r";  // CR as the last byte of the third read, LF as the first of the fourth
  bytes += "\n" + QByteArray(kRead, 'b');
  bytes += "\r\nlast";
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  LineReader reader(buffer);
  EXPECT_EQ(reader.readLine().size(), 3 * kRead - 1);
  EXPECT_EQ(reader.readLine(), QString(kRead, QLatin1Char('b')));
  EXPECT_EQ(reader.readLine(), QStringLiteral("last"));
  EXPECT_EQ(reader.readLine(), QString());
  EXPECT_EQ(reader.readLine(), QString());
}

// RFC 4180 as a spreadsheet reads it: commas outside quotes end a field, "" in quotes is ".
std::vector<QStringList> readCsv(const QString& text) {
  std::vector<QStringList> rows(1, QStringList(QString()));
  bool quoted = false;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const QChar c = text[i];
    if (quoted && c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
      rows.back().last() += c;
      ++i;
    } else if (c == u'"') {
      quoted = !quoted;
    } else if (!quoted && c == u',') {
      rows.back() << QString();
    } else if (!quoted && c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
      rows.emplace_back(QStringList(QString()));
      ++i;
    } else {
      rows.back().last() += c;
    }
  }
  rows.pop_back();  // after the last line end
  return rows;
}

// Run again in a child whose environment is a German user's session: the program takes its
// decimal separator from the system, so only a whole process shows what a comma system does.
TEST_F(DataFileTest, CsvExportReadsBackCellForCellOnACommaSystem) {
  if (!qEnvironmentVariableIsSet("VELAN_TEST_COMMA_SYSTEM")) {
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("VELAN_TEST_COMMA_SYSTEM"), QStringLiteral("1"));
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("de_DE.UTF-8"));
    environment.insert(QStringLiteral("TZ"), QStringLiteral("CET-1"));  // no summer time
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=DataFileTest.CsvExportReadsBackCellForCellOn*")});
    ASSERT_TRUE(child.waitForFinished(10000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
    return;
  }
  QLocale::setDefault(QLocale::system());  // as the program has it: it never sets a default
  ASSERT_EQ(systemDecimalSeparator(), QLatin1Char(','));
  fields.setStartTime(dateTimeText(QDateTime(QDate(2026, 12, 8), QTime(7, 0, 1))));
  fields.setUnitLabel(3, QStringLiteral("pH, \"wet\""));
  store->rowCount = 4;
  table.setTableRowCount(26);
  store->time[2] = 9999.75;  // times to the millisecond, past 10000 s too
  store->time[3] = 10000;
  store->time[4] = 10000.25;
  store->value[1][2] = kMissingValue;
  table.setCell(5, 1, QStringLiteral("a, \"b\"\r\nc"));
  table.setCell(5, 2, QStringLiteral("12\" tube"));  // a quote without a comma is quoted too
  const auto csv = [this](bool clockFilled = true) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    EXPECT_EQ(writeCsv(buffer, *store, table, fields), clockFilled);
    EXPECT_TRUE(buffer.data().contains("\"12\"\" tube\"\r\n"));
    return readCsv(QString::fromUtf8(buffer.data()));
  };
  const std::vector<QStringList> expected = {
      {"Time (s)", "Date and time", "Ch. 1 (mV)", "Ch. 3 (pH, \"wet\")", "Notes"},
      {"1", "2026-12-08T07:00:02.000+01:00", "-14.04", "0.50", "a, \"b\"\r\nc"},
      {"9999.75", "2026-12-08T09:46:40.750+01:00", "", "0.00", "12\" tube"},
      {"10000", "2026-12-08T09:46:41.000+01:00", "0.00", "0.00", ""},
      {"10000.25", "2026-12-08T09:46:41.250+01:00", "0.00", "0.00", ""},
  };
  EXPECT_EQ(csv(), expected);
  // Start times in the formats Velan wrote on other systems, or ISO 8601.
  for (const char* start : {"08.12.2026  07:00:01", "8.12.26  7:00:01", "2026-12-08T07:00:01"}) {
    fields.setStartTime(QString::fromLatin1(start));
    EXPECT_EQ(csv()[1][1], QStringLiteral("2026-12-08T07:00:02.000+01:00")) << start;
  }
  fields.setStartTime(QStringLiteral("yesterday"));
  EXPECT_EQ(csv(false)[1][1], QString()) << "no clock time without a start time";
}

TEST_F(DataFileTest, ExtensionRuleAndNames) {
  struct Case {
    const char* in;
    const char* out;
  } const cases[] = {{"run1", "run1.vln"}, {"run1.txt", "run1.txt.vln"}, {"a.vln.bak", "a.vln.bak"},
                     {"a.VLN", "a.VLN"},   {"a.Vln", "a.Vln.vln"},       {"", ".vln"}};
  for (const Case& c : cases) {
    EXPECT_EQ(applyExtensionRule(QString::fromLatin1(c.in)), QString::fromLatin1(c.out));
  }
  EXPECT_EQ(bareFileName(QStringLiteral("/data/x/run1.vln")), QStringLiteral("run1.vln"));
  EXPECT_EQ(folderPart(QStringLiteral("/data/x/run1.vln")), QStringLiteral("/data/x/"));
  EXPECT_EQ(folderPart(QStringLiteral("run1.vln")), QString());
}

}  // namespace
