#pragma once
// What the telephony tests share: a private INI folder and a recorder of call states.
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "config/IniFile.h"
#include "util/QtText.h"

namespace zorv::test {

// Points the INI file at a fresh temporary folder for the life of the object.
struct PrivateIni {
    QTemporaryDir dir;
    PrivateIni() { SetIniDirectory(FromQString(dir.path())); }
    ~PrivateIni() { SetIniDirectory(""); }
};

}  // namespace zorv::test
