// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The maker's home page: the Update button, the About dialog's link and the banner movie's click
// all lead here. The build reads the movie's link target from this line, so keep it a plain
// literal.
inline constexpr char HomePage[] = "http://www.quennets.com/";
