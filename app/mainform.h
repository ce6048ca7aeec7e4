#pragma once
// The program's one window: its controls, start-up, shutdown and layout. The handlers of the
// other subsystems are members too and live in the folder of their subsystem.

#include <QHash>
#include <QMainWindow>
#include <QString>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace qlx {

class PcFileList;

// What start-up takes from the program itself; tests give their own.
struct StartupInfo {
    QString programDir;     // the folder of the executable
    QString executablePath; // for the date in the title
    QString argumentText;   // the whole command-line argument text
};

StartupInfo startupInfoFromApplication();

class MainForm : public QMainWindow {
    Q_OBJECT
public:
    explicit MainForm(const StartupInfo& info, QWidget* parent = nullptr);

    void Form_Load();

    // Fields
    bool Debugger = false;
    QString FirmwareString;
    QString QLXCopyINI;
    qint16 DeviceHandle = 0;
    QString AnswerString;
    QString ErrorString;
    bool Connected = false;
    QString PCPath;
    bool CanChangeDir = false;

    // Controls, named as the user-visible design names them.
    QGroupBox* SetFrame;
    QRadioButton* Route[2];
    QLineEdit* AdrC;
    QPushButton* ImgPath;
    QPushButton* TestQLX;
    QLabel* Label1;
    QListWidget* QLXFiles;
    PcFileList* PCFileList;
    QGroupBox* FileFrame;
    QRadioButton* FileLocation[2];
    QPushButton* CopyAll;
    QPushButton* DelThis;
    QPushButton* DeleteAll;
    QLabel* Status;
    QProgressBar* Stat;
    QLabel* TextDisp;
    QWidget* Bild;

    // Window geometry in twips, as the layout sees it.
    double outerWidthTwips() const;
    double outerHeightTwips() const;
    double clientWidthTwips() const;
    double clientHeightTwips() const;
    struct Twips { double left, top, width, height; };
    Twips twipsOf(QWidget* control) const { return geometry_.value(control); }

    void setStatus(const QString& text, QRgb background);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void setTabOrder();
    template <class W> W* place(W* control, QWidget* parent, const QString& name, Twips twips);
    void applyGeometry(QWidget* control);
    double dpiX() const;
    double dpiY() const;
    void setOuterSizeTwips(double width, double height);

    void Route_Click(int index);
    void Form_Resize();
    void Form_Unload();

    StartupInfo info_;
    QHash<QWidget*, Twips> geometry_;
    bool unloaded_ = false;
};

} // namespace qlx
