#include "help_window.h"

#include <QFontDatabase>
#include <QVBoxLayout>

TForm4::TForm4(QWidget* parent) : QWidget(parent, Qt::Window), Mehelp(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("TForm4"));
  setWindowTitle(QStringLiteral("Help Velan"));
  Mehelp->setObjectName(QStringLiteral("Mehelp"));
  Mehelp->setAccessibleName(QStringLiteral("Help text"));
  Mehelp->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Mehelp->setPlainText(helpText());
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(Mehelp);
  resize(744, 482);
}

QString TForm4::helpText() {
  return QStringLiteral(R"(Velan - data recording with the ADC-16 converter
Help text of 7 December 2026

Velan records up to four analog channels of an ADC-16 converter on a serial port, through its own driver for the converter's line protocol (or the maker's driver library, where one is installed). The values are shown at once in the data table of the main window and as coloured marks on the monitor window. The reading interval (how often a value is stored) and the scales of the display can be changed at any time, also during a recording. Short notes can be attached to the newest value. A record is saved as a text file that spreadsheet and plotting programs can import, and it can be opened again and plotted whole.

[Installation]
Velan needs only its own program file. It speaks the converter's line protocol itself (its built-in driver); where the maker's driver library libadc1632.so is found (in Velan's own folder, then on the system's library path, for example /usr/local/lib followed by "sudo ldconfig"), it uses that instead. Nothing else on the system is changed.
Without a converter answering on the chosen port, Velan runs as a simulation and says so in row 1's note. If you get error messages about floating point numbers ("... ist kein gültiger Gleitkommawert"), check the decimal separator of your system's language settings (decimal comma or decimal point): files must be opened with the separator they were saved with.

[Connection of the converter]
Connect the converter to a serial port (/dev/ttyS0 is COM 1, and so on) or to a USB port through a USB-to-serial adapter cable.
The converter's 25-way female D connector carries the inputs:
  pins 1 and 2: channel 1
  pins 3 and 4: channel 2
  pins 5 and 6: channel 3
  pins 7 and 8: channel 4
The input range is plus or minus 2.5 V. Never apply more than plus or minus 30 V.
Note: channels 2 to 4 may not yet work correctly with every converter.

[Program start]
Enter the number of the port in "COM Port #". Start a recording and look at the status line below the channel boxes: it must read "Recording". If it reads "No ADC16: Simulation", rest the mouse on it to see why (no such device, no permission, or no answer), stop, choose another port number and try again. A USB adapter has no COM number of its own: "Options" - "Serial ports..." lists the system's serial ports and assigns one (or a device path you type) to the number in "COM Port #"; the field's tool tip shows which device the number means. Without permission, ask for your user to be added to the group of the device (usually dialout), then log in again. A run without a converter says so in the note of row 1 ("simulated readings").
While no selected channel gets a value during a run, the status line says so ("Recording: no readings from COM 3 since 12:03:04") and its tool tip says why: the device is gone, the converter does not answer, or its answers are rejected. Its tool tip also counts the requests the converter left unanswered and the answers Velan rejected ("3 answers rejected: stray bytes, line noise or out of range"): answers with stray bytes around them, repeated by the line, or out of the converter's range. Such an answer is never stored: the channel's value stays empty until a good answer comes. Many of them point to a bad cable or connector, not to the signal.
Choose the channels with the boxes "Ch. 1" to "Ch. 4" and enter their units beside them. Always include channel 1: the live display follows channel 1.
To record a channel in its own unit (°C, pH, mS/cm), give it a factor and an offset in "Options" - "Channel scaling...": each row then stores factor x mV + offset. The two-point calibration there computes both from two readings (typed, or taken from the channel's newest row with "Latest" during a run) and the true values they stand for. Row 1's note names every scaling, and a change during a run is noted on the first row it applies to.
The settings (port, experiment description, channels, units, scalings, reading interval and the folder of the last saved file) can be saved with "Options" - "Save currents settings as Velan.ini". The file Velan.ini is written into the current folder and is read at the next start from there.

[Recording an experiment]
Describe the experiment in the field "Experiment:" at the top of the main window, then press "Start recording". The monitor window and the notes window open.
Choose the reading interval with the arrows of "Reading interval" on the monitor. The shortest interval is 0.25 s. Longer intervals lower the noise, because every stored value is the average of the readings taken every 50 ms during the interval, and they reduce the amount of data. The time window moves on by itself when 90 % of it is reached. It can also be moved by hand with "<" and ">" and made longer or shorter with the arrows of "Time range".
Scales and midpoints of each channel can be changed at any time with their arrows. The values are recorded whether or not they are displayed (except beyond plus or minus 2.5 V, the converter's range).
To add a note, type it into the field at the bottom of the main window or of the monitor and press "^" or Return. The note belongs to the newest value; it is marked on the monitor by small triangles and listed in the notes window.
"Follow the data" on the monitor, beside "Fit scales to the data": while it is set, a channel whose newest value leaves its scale is fitted again at once, so a drifting signal stays in view.

[Statistics and limits]
"View" - "Statistics" (Ctrl+4, or "Statistics" in the picture's menu) shows for each shown channel the number of values (n), the missing values (counted apart, never taken as 0), the smallest and largest value (rest the mouse on them for their times), the mean, the sample standard deviation (divided by n - 1, computed from the deviations from the mean, so a large offset loses no digits) and the peak-to-peak span, in the channel's unit. "Statistics range" chooses the whole record, the monitor's time window or a selection: Shift+drag on the monitor's picture marks a span (Escape or a click clears it). The line above the table names the range. "Add as note" (during a run) writes the statistics onto the newest row, so they reach the file and the CSV; "Copy" puts the table on the clipboard as tab-separated text.
"Options" - "Limits..." sets a low and a high limit and a dead band per channel, in its unit (an empty field is no limit). Every stored row is checked: a value beyond a limit is noted on its row ("Ch. 1 above high limit 1200 mV", or "below low limit") and marked on the monitor like any note; once it is back inside by the dead band, "Ch. 1 back within limits" is noted. A missing value is neither. The dead band is at most half the band between the limits. Each crossing also shows in the status line's tool tip and as a desktop notification (one a channel, updated at most every 10 s; the latest state shows when they end). The limits are kept for your user, with the scalings, and "velan record" uses them too.
The "Cursor" readout shows the time and the channel 1 value under the mouse pointer. Every stored value is also written at once to a recovery file; if Velan or the computer stops before the record is saved, the next start of Velan offers the record back.
A value that was not measured (fewer than three good readings in an interval) stays empty. If the program was held up (the computer slept), the missed intervals get empty rows and a note. A record holds 100000 rows (almost 7 hours at 0.25 s, 28 hours at 1 s). When it is full, Velan saves it as a part into the recordings folder ("Options" - "Recordings folder..."; until you choose one, the folder of the last saved file) and goes on in a new record without a pause. The parts are named after the experiment, their start time and their number ("... part 1.vln"); row 1 of the next part names the part before it, and its start time continues the first. If a part cannot be saved (a full or read-only disk), its rows wait in memory and in a recovery file, and the part is saved as soon as the disk takes it; the status line says so. A part still unsaved when the run ends is offered back at the next start, and rows no file could hold are counted as lost. To stop, minimise the monitor and press "Stop recording" on the main window. Then save the data at once with "File" - "Save as".

[Plotting data]
Recorded or opened data are shown whole with "Plot data". When you change the time axis, the notes window shows the notes of the period displayed. The cursor readout works as during a recording. A right click on the plot (or, once the plot has the keyboard focus, the Menu key or Shift+F10) opens its menu: "Save picture as..." saves it as a PNG picture, "Save picture with legend..." adds a band below it that names each channel's colour, unit, scale and midpoint, "Fit scales to the data" (also Ctrl+F, or the button under the channel groups) sets each channel's scale and midpoint so that all values of the time window are shown. On the picture, the mouse wheel steps the time range ("Time range"), keeping the time under the pointer where it is; a drag with the left button moves the time window with the pointer, pixel by pixel (the window start then shows the digits a pixel needs); Shift+wheel (or a horizontal wheel) moves it as "<" and ">" do; Shift+drag marks a span for the statistics. Ctrl+drag draws a box: its time span becomes the window. Ctrl+wheel on the picture steps channel 1's scale, and over a channel's group on the left that channel's scale. Home (or "Show whole record" in the picture's menu) shows the whole record again, during a run too. Rows can be moved in the table by dragging their time; this changes the table only.

[Publishing]
"Options" - "Publishing..." sends every row to an MQTT broker (for InfluxDB, Grafana, Home Assistant or Node-RED): give the broker as mqtt://host:port (mqtts:// for TLS), a topic, your user name and the password in its own field, never in the broker's address. It takes effect at the next start of a recording; the status line then says "publishing to HOST", or how many rows wait while the broker is away (they are sent when it is back, marked late). After Stop the rows still waiting are sent while you go on working ("sending N rows to the broker..."); Start gives that up. Rows the broker never confirmed, also after a crash, are sent first by the next recording that publishes.

[Data format]
Data files have the extension .vln. They are text files that text editors, spreadsheet and plotting programs can read. The lines that hold "<...>" must not be changed. Fields are separated by semicolons; every data line holds the time in seconds, the values of the selected channels in their unit (mV, or the unit of a scaled channel, named in its channel line and in row 1's note) and the note, if any. Millivolts keep two decimals; a scaled channel keeps as many as one converter step needs at its factor. A value that was not measured is an empty field. Example:

<Velan data file>Glucose test
21.10.2005  16:08:42<Start time of recording>
mV<Channel 1>
<Channel 2 not used>
mV<Channel 3>
<Channel 4 not used>
2<lines with data: sec;Ch1;Ch2;Ch3;Ch4;Note>
1.0;-14.04;0.50;21.10.2005  16:08:42
2.0;-9.24;0.00;

"Options" - "Save numbers with comma/point" chooses whether numbers are saved with the system's decimal separator (c) or always with a decimal point (p).

[Open vln files]
Data files are opened with "File" - "Open", from "File" - "Recent files" (the last five), or by a double-click in the file manager once Velan is installed, and plotted with "Plot data". The notes of the data displayed are marked by triangles and listed with their times in the notes window.
For spreadsheets and scripts use "File" - "Export as CSV...": it writes a CSV file that spreadsheets, pandas and R read as it is, with the clock time of every row. Do not import a .vln file with ";" as the separator: a note that holds a ";" or a line break splits its row. A record opened from the file manager (or given on the command line) is plotted at once.

[Keys]
These work in every Velan window:
  F5            Start recording
  Shift+F5      Stop recording
  Ctrl+P        Plot data
  Ctrl+1        Main window to the front
  Ctrl+2        Monitor to the front
  Ctrl+3        Notes window to the front
  Ctrl+4        Statistics to the front
  F1            This help
In the main window: Ctrl+O Open, Ctrl+S Save, Ctrl+Shift+S Save as, Ctrl+Q Exit Program; Alt+F, Alt+O, Alt+V and Alt+H open the menus File, Options, View and Help (or F10, then the arrow keys). In the monitor: Ctrl+F fits the scales to the data; Home shows the whole record; the Menu key or Shift+F10 on the picture opens its menu; Tab reaches the picture.

Please report problems, with the data file concerned if possible, to the laboratory's software contact.
)");
}
