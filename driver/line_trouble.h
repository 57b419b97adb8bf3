#pragma once

/// Why no reading came lately: the device is gone, requests go unanswered, or answers are
/// refused (stray bytes, line noise) or out of range. None while readings come.
enum class LineTrouble { None, DeviceGone, NoAnswer, AnswersRejected, OutOfRange };
