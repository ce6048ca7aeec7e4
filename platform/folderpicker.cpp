#include "platform/folderpicker.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

namespace qlx {

QString pickFolder(QWidget* owner, const QString& title, const QString& currentFolder)
{
    QDialog dialog(owner);
    dialog.setWindowTitle(QStringLiteral("Browse for Folder"));
    dialog.setModal(true);
    dialog.resize(420, 480);

    auto* label = new QLabel(QString(title).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);

    QFileSystemModel model;
    model.setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    model.setRootPath(QStringLiteral("/"));

    auto* tree = new QTreeView;
    tree->setModel(&model);
    tree->setRootIndex(model.index(QStringLiteral("/")).parent());
    for (int column = 1; column < model.columnCount(); ++column)
        tree->hideColumn(column);
    tree->header()->hide();
    const QModelIndex current = model.index(currentFolder);
    if (current.isValid()) {
        tree->setCurrentIndex(current);
        tree->expand(current);
        tree->scrollTo(current);
    }

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(tree, 1);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted)
        return {};
    const QModelIndex chosen = tree->currentIndex();
    return chosen.isValid() ? model.filePath(chosen) : QString();
}

} // namespace qlx
