#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>

#include "program.h"

namespace {
void nameTheProgram() {
  QCoreApplication::setApplicationName(QStringLiteral("Velan"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VELAN_VERSION));
}

void describeCommandLine(QCommandLineParser& parser) {
  parser.setApplicationDescription(QStringLiteral("Data logger for the ADC-16 converter."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"),
                               QStringLiteral("A Velan data file (.vln) to open at start-up."),
                               QStringLiteral("[FILE]"));
}

// Whether the line asks for help or the version, by the options the parser knows.
bool asksForHelpOrVersion(int argc, char* argv[]) {
  QCommandLineParser parser;
  describeCommandLine(parser);
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  parser.parse(arguments);  // the toolkit's own options are unknown here, and do not matter
  for (const QString& name : parser.optionNames()) {
    if (name == QLatin1String("h") || name == QLatin1String("help") ||
        name == QLatin1String("help-all") || name == QLatin1String("?") ||
        name == QLatin1String("v") || name == QLatin1String("version")) {
      return true;
    }
  }
  return false;
}

// The file argument as the system's bytes: a name that is not valid UTF-8 has no exact text.
QByteArray fileArgument(int argc, char* argv[], const QString& parsed) {
  for (int i = 1; i < argc; ++i) {
    if (QFile::decodeName(argv[i]) == parsed) return QByteArray(argv[i]);
  }
  return QFile::encodeName(parsed);
}
}  // namespace

int main(int argc, char* argv[]) {
  if (asksForHelpOrVersion(argc, argv)) {
    // Answered without a window system, so they work without a display.
    QCoreApplication commandLine(argc, argv);
    nameTheProgram();
    QCommandLineParser parser;
    describeCommandLine(parser);
    parser.process(commandLine);  // prints and ends the program
  }
  QApplication app(argc, argv);
  nameTheProgram();
  QApplication::setQuitOnLastWindowClosed(false);  // the main window alone ends the program
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/velan-48.png"));
  icon.addFile(QStringLiteral(":/icons/velan-128.png"));
  QApplication::setWindowIcon(icon);
  QCommandLineParser parser;
  describeCommandLine(parser);
  parser.process(app);  // the toolkit has taken its own options out by now
  if (parser.positionalArguments().size() > 1) {
    qWarning("velan: one file at most");
    return 1;
  }

  Program program;
  // exit(), not quit(): quit() would ask every window to close, and the monitor and notes
  // windows refuse (they minimise), which would keep the program running.
  QObject::connect(&program.main(), &TForm1::closed, &app, [] { QCoreApplication::exit(0); });
  program.main().show();
  program.main().recoverUnsavedRecordings();
  if (!parser.positionalArguments().isEmpty()) {
    program.main().openFileAtStartUp(
        fileArgument(argc, argv, parser.positionalArguments().front()));
  }
  return app.exec();
}
