#include <QApplication>
#include <QCommandLineParser>
#include <QFile>
#include <QIcon>
#include <cstdio>
#include <cstring>
#include <optional>

#include "converter_choice.h"
#include "program.h"
#include "record_launch.h"
#include "stop_signals.h"
#include "user_settings.h"

namespace {
void nameTheProgram() {
  QCoreApplication::setApplicationName(QStringLiteral("Velan"));
  QCoreApplication::setApplicationVersion(QStringLiteral(VELAN_VERSION));
}

void describeCommandLine(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      QStringLiteral("Data logger for the ADC-16 converter.\n\n"
                     "velan record [options] records without a display (as a service, for "
                     "example); velan record --help lists its options."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"),
                               QStringLiteral("A Velan data file (.vln) to open at start-up."),
                               QStringLiteral("[FILE]"));
}

// The toolkit's own options (-platform, -style, ...), which it takes out of the line itself.
bool isToolkitOption(QString argument) {
  static const QStringList kToolkitOptions = {"platform",      "platformpluginpath",
                                              "platformtheme", "plugin",
                                              "qmljsdebugger", "qwindowgeometry",
                                              "qwindowicon",   "qwindowtitle",
                                              "reverse",       "session",
                                              "style",         "stylesheet",
                                              "widgetcount",   "display",
                                              "geometry",      "name",
                                              "title",         "visual",
                                              "sync",          "fn",
                                              "font",          "bg",
                                              "background",    "fg",
                                              "foreground",    "btn",
                                              "button",        "im",
                                              "nograb",        "dograb",
                                              "ncols",         "cmap"};
  if (!argument.startsWith(QLatin1Char('-'))) return false;
  while (argument.startsWith(QLatin1Char('-'))) argument.remove(0, 1);
  return kToolkitOptions.contains(argument.section(QLatin1Char('='), 0, 0));
}

// What is wrong with the file arguments of a parsed line; empty when nothing is.
QString fileArgumentMistake(const QCommandLineParser& parser) {
  return parser.positionalArguments().size() > 1 ? QStringLiteral("one file at most") : QString();
}

// Help, the version and mistakes on the command line are answered before the window system is
// up, so they need no display. Returns the exit code when the program ends here. A line with
// the toolkit's own options is left to the toolkit and read once it has taken them out.
std::optional<int> answerWithoutWindows(int argc, char* argv[]) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) {
    arguments << QString::fromLocal8Bit(argv[i]);
    if (i > 0 && isToolkitOption(arguments.back())) return std::nullopt;
  }
  QCommandLineParser parser;
  describeCommandLine(parser);
  const bool parsed = parser.parse(arguments);
  if (parsed && (parser.isSet(QStringLiteral("help")) || parser.isSet(QStringLiteral("help-all")) ||
                 parser.isSet(QStringLiteral("version")))) {
    QCoreApplication commandLine(argc, argv);
    nameTheProgram();
    parser.process(commandLine);  // prints and ends the program
  }
  const QString mistake = !parsed ? parser.errorText() : fileArgumentMistake(parser);
  if (mistake.isEmpty()) return std::nullopt;
  std::fprintf(stderr, "velan: %s\nTry 'velan --help' for more information.\n",
               qPrintable(mistake));
  return 1;
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
  // The recorder without a window: no display, no window system loaded.
  if (argc > 1 && std::strcmp(argv[1], "record") == 0) return launchRecorder(argc, argv);
  if (const std::optional<int> ended = answerWithoutWindows(argc, argv)) return *ended;
  QApplication app(argc, argv);
  nameTheProgram();
  // Windows find their menu entry and icon on desktops that match them by the desktop file.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.velan.Velan"));
  QApplication::setQuitOnLastWindowClosed(false);  // the main window alone ends the program
  QIcon icon;
  icon.addFile(QStringLiteral(":/icons/velan-48.png"));
  icon.addFile(QStringLiteral(":/icons/velan-128.png"));
  QApplication::setWindowIcon(icon);
  QCommandLineParser parser;
  describeCommandLine(parser);
  parser.process(app);  // the toolkit has taken its own options out by now
  if (const QString mistake = fileArgumentMistake(parser); !mistake.isEmpty()) {
    std::fprintf(stderr, "velan: %s\n", qPrintable(mistake));
    return 1;
  }

  // Asked before anything reads the settings: Qt keeps a file it parsed once, and a later look
  // would no longer see that it could not be read.
  const QString settingsProblem = UserSettings::readProblem();
  Program program(chooseConverterDriver());
  // exit(), not quit(): quit() would ask every window to close, and the monitor and notes
  // windows refuse (they minimise), which would keep the program running.
  QObject::connect(&program.main(), &TForm1::closed, &app, [] { QCoreApplication::exit(0); });
  // The system ending the program (systemctl, a logout, an update) does not lose the run.
  StopSignals stopSignals([&program](int signal) {
    program.main().endBySystem(QLatin1String(StopSignals::name(signal)));
    QCoreApplication::exit(0);
  });
  QObject::connect(&app, &QGuiApplication::commitDataRequest, &program.main(), [&program] {
    program.main().endBySystem(QStringLiteral("the end of the desktop session"));
  });
  program.main().show();
  program.main().recoverUnsavedRecordings(settingsProblem);
  if (!parser.positionalArguments().isEmpty()) {
    program.main().openFileAtStartUp(
        fileArgument(argc, argv, parser.positionalArguments().front()));
  }
  return app.exec();
}
