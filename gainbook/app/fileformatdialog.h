// The dialog "Формат файла": the user names the format of a response file whose first
// line does not tell it. Plain state; the Qt dialog binds its radio buttons to it.
#pragma once

#include "formats/responsetext.h"

#include <functional>
#include <optional>

namespace orv::gainbook {

class FileFormatDialog {
public:
    // fapOnly: "SAC" is hidden and "FAP-ORV" preselected; otherwise "SAC" is preselected.
    explicit FileFormatDialog(bool fapOnly = false);

    bool sacVisible = true;
    bool sacChecked = true;
    bool fapOrvChecked = false;
    bool fapGse2Checked = false;

    // A click on one of the three radio buttons.
    void check(formats::LoadedFileKind kind);
    // What "OK" yields: SAC when "SAC" is checked, FAP-ORV when "FAP-ORV" is, else FAP-GSE2.
    formats::LoadedFileKind result() const;
};

// Shows the dialog modally: the kind named with "OK", nothing after "Отмена".
using FileFormatRunner = std::function<std::optional<formats::LoadedFileKind>(FileFormatDialog&)>;

} // namespace orv::gainbook
