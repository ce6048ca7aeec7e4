#pragma once
// The PC file list: the hardcopies (*.WMF, any case) of one folder of the PC, read when its
// folder is set and on refresh.

#include <QListWidget>

namespace qlx {

class PcFileList : public QListWidget {
    Q_OBJECT
public:
    explicit PcFileList(QWidget* parent = nullptr);

    void setPath(const QString& folder);
    QString path() const { return folder_; }
    void refresh();

private:
    QString folder_;
};

} // namespace qlx
