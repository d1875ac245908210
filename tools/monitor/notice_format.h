#pragma once
// How the monitor shows one notice: time stamp, dwData, cbData and the text, optionally with
// the bytes in hex.

#include <string>

#include "platform/winmsg/winmsg.h"

namespace monitor {

// "HH:MM:SS.mmm  [4000] cb=9  TR_OPEN|"; the text is the first cbData - 1 bytes of the
// buffer read as CP949, a zero shown as "\0". With `hex`, " | 54 52 5F ..." follows.
std::string formatNotice(const veltrano::winmsg::CopyData& notice, bool hex);

}  // namespace monitor
