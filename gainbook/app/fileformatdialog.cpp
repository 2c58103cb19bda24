#include "fileformatdialog.h"

namespace orv::gainbook {

using formats::LoadedFileKind;

FileFormatDialog::FileFormatDialog(bool fapOnly)
    : sacVisible(!fapOnly), sacChecked(!fapOnly), fapOrvChecked(fapOnly) {}

void FileFormatDialog::check(LoadedFileKind kind) {
    sacChecked = kind == LoadedFileKind::Sac;
    fapOrvChecked = kind == LoadedFileKind::FapOrv;
    fapGse2Checked = kind == LoadedFileKind::FapGse2;
}

LoadedFileKind FileFormatDialog::result() const {
    if (sacChecked)
        return LoadedFileKind::Sac;
    return fapOrvChecked ? LoadedFileKind::FapOrv : LoadedFileKind::FapGse2;
}

} // namespace orv::gainbook
