#include "ui/qtapplication.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QTranslator>
#include <QTreeView>

#include <cstring>

namespace orv::ui {

namespace {

// Qt's catalogue, also for the texts Qt 6 moved out of a context its Russian catalogue still
// has them under ("Folder" went from QFileDialog to QAbstractFileIconProvider).
class QtCatalogue : public QTranslator {
public:
    using QTranslator::QTranslator;
    QString translate(const char* context, const char* source, const char* disambiguation,
                      int n) const override {
        if (context && std::strcmp(context, "QAbstractFileIconProvider") == 0)
            context = "QFileDialog";
        return QTranslator::translate(context, source, disambiguation, n);
    }
};

// A file's size as the application's language writes it. Qt's Russian data calls any count
// of bytes "байты"; below a kibibyte the list uses the abbreviation the larger units are
// made of ("Б", as in "КиБ").
QString sizeText(qint64 bytes) {
    const QLocale locale;
    if (bytes < 1024 && locale.language() == QLocale::Russian)
        return locale.toString(bytes) + QString::fromUtf8(" Б");
    return locale.formattedDataSize(bytes);
}

// The file list with its size and date columns in the application's language.
class FileDetails : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;
    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files)
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        switch (index.column()) {
        case 1:
            return files->isDir(source) ? QString() : sizeText(files->size(source));
        case 3:
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        default:
            return QIdentityProxyModel::data(index, role);
        }
    }
};

// QAccessibleComboBox but for the name: children, actions and states are Qt's.
class ComboBoxAccessible : public QAccessibleWidget {
public:
    explicit ComboBoxAccessible(QWidget* w) : QAccessibleWidget(w, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return box()->currentText();
        const QString own = QAccessibleWidget::text(t);
        return t == QAccessible::Name && own.isEmpty() ? box()->currentText() : own;
    }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.expandable = true;
        s.expanded = box()->view()->isVisible();
        s.editable = box()->isEditable();
        return s;
    }
    // The popup list, and the edit field of an editable box.
    int childCount() const override { return box()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0)
            return QAccessible::queryAccessibleInterface(box()->view());
        if (index == 1 && box()->isEditable())
            return QAccessible::queryAccessibleInterface(box()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (child && child->object() == box()->view())
            return 0;
        if (child && box()->isEditable() && child->object() == box()->lineEdit())
            return 1;
        return -1;
    }
    QAccessibleInterface* focusChild() const override {
        return box()->isEditable() ? child(1) : nullptr;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction() << pressAction();
    }
    void doAction(const QString& action) override {
        if (action != showMenuAction() && action != pressAction())
            return QAccessibleWidget::doAction(action);
        if (box()->view()->isVisible())
            box()->hidePopup();
        else
            box()->showPopup();
    }

private:
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
};

QAccessibleInterface* accessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("QComboBox") && object && object->isWidgetType())
        return new ComboBoxAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

void setUpApplication(QApplication& app) {
    installRussianTranslation(app);
    installAccessibleNames();
}

void installRussianTranslation(QApplication& app) {
    auto* catalogue = new QtCatalogue(&app);
    if (catalogue->load(QStringLiteral("qtbase_ru"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(catalogue);
    else
        delete catalogue;
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

void showFileDetailsInLanguage(QFileDialog& dialog) {
    dialog.setProxyModel(new FileDetails(&dialog));
    // Sizes and dates are shown whole (the newest response file is picked by its date).
    if (auto* list = dialog.findChild<QTreeView*>())
        for (int column : {1, 3})
            list->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
}

void installAccessibleNames() {
    static const bool installed = [] {
        QAccessible::installFactory(accessibleFactory);
        return true;
    }();
    (void)installed;
}

} // namespace orv::ui
