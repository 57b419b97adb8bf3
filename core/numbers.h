#pragma once

#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <cstdint>

/// Writes x rounded to at most `precision` significant digits and at most `decimals` decimals
/// (half away from zero on the 18-digit decimal expansion); exponent form when the integer part
/// would need more than `precision` digits.
QString formatFixed(double x, int precision, int decimals, QChar separator);

/// Room formatFixedInto may need.
inline constexpr int kFormattedCapacity = 420;
/// formatFixed into a byte buffer with a one-byte separator; returns the length. For writers
/// that build whole lines of bytes.
int formatFixedInto(char* out, double x, int precision, int decimals, char separator);
/// A row time as the data file writes it: plain fixed notation with one decimal at any size
/// (12345.7, 5000000.0). The significant-digit rule of the other numbers would give times that
/// repeat in a long run.
int formatTimeInto(char* out, double seconds, char separator);

/// Reads a text written by formatFixed (or typed by a user). Throws VelanError with the
/// "ist kein gültiger Gleitkommawert" message on anything else.
double parseNumber(QStringView text, QChar separator);

/// True for a text that is empty or holds only the blanks parseNumber skips.
bool isBlankText(QStringView text);

/// Whole number with optional leading blanks and sign, nothing after it; 32-bit range.
/// Throws VelanError with the "ist kein gültiger Integerwert" message.
int32_t parseInteger(const QString& text);

/// A channel's value as the data file writes it: at most five significant digits, then the
/// channel's decimals (1200.24 with two decimals is 1200.20); every text that quotes a row's
/// value uses it, so that it reads as the file does.
inline constexpr int kFileValueDigits = 5;
QString fileValueText(double value, int decimals, QChar separator);

/// Fixed-width cell text of the data table: `decimals` decimals, always ".", left-padded to
/// `minWidth`, cut to its first 10 characters.
QString formatCell(double x, int minWidth, int decimals);

/// x with exactly `decimals` decimals (half away from zero), plain fixed notation at any size.
QString formatDecimals(double x, int decimals, QChar separator);

/// The system's decimal separator (first character of QLocale::system()'s).
QChar systemDecimalSeparator();
