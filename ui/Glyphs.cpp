// SPDX-License-Identifier: GPL-3.0-or-later
#include "Glyphs.h"

#include <QString>

#include <mutex>

// Resources of a static library are registered by hand: nothing else references them, so the
// linker would drop their automatic registration. Not in a namespace: the macro declares the
// resource's initialiser at global scope.
static void RegisterGlyphs() {
    Q_INIT_RESOURCE(glyphs);
}

namespace {
void EnsureRegistered() {
    static std::once_flag registered;
    std::call_once(registered, RegisterGlyphs);
}
}  // namespace

QIcon Glyph(const char* name) {
    EnsureRegistered();
    return QIcon(QStringLiteral(":/glyphs/%1.svg").arg(QLatin1String(name)));
}

QIcon ProgramIcon() {
    EnsureRegistered();
    return QIcon(QStringLiteral(":/app/sonvert.svg"));
}
