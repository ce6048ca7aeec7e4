#include "pcfiles/mainform_pcfilelist.h"

#include <QDir>

namespace qlx {

PcFileList::PcFileList(QWidget* parent) : QListWidget(parent) {}

void PcFileList::setPath(const QString& folder)
{
    folder_ = folder;
    refresh();
}

void PcFileList::refresh()
{
    clear();
    QDir dir(folder_);
    dir.setNameFilters({QStringLiteral("*.WMF")});
    dir.setFilter(QDir::Files);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    addItems(dir.entryList());
}

} // namespace qlx
