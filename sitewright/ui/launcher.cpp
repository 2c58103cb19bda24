#include "ui/launcher.h"

#include <QProcess>
#include <QStringList>

namespace orv::sitewright {

bool DetachedLauncher::startDetached(const std::string& program,
                                     const std::vector<std::string>& arguments) {
    QStringList rest; // argv[0] is the program itself
    for (std::size_t i = 1; i < arguments.size(); ++i)
        rest << QString::fromStdString(arguments[i]);
    return QProcess::startDetached(QString::fromStdString(program), rest);
}

} // namespace orv::sitewright
