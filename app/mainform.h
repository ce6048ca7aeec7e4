#pragma once
// The program's one window: its controls, start-up, shutdown and layout. The handlers of the
// other subsystems are members too and live in the folder of their subsystem.

#include "store/testersession.h"

#include <QHash>
#include <QString>
#include <QStringList>
#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
namespace qlx {

class PictureView;
class PcFileList;

// What start-up takes from the program itself; tests give their own.
struct StartupInfo {
    QString programDir;     // the folder of the executable
    QString executablePath; // for the date in the title
    QStringList arguments;  // the command-line arguments
};

StartupInfo startupInfoFromApplication();

class MainForm : public QWidget, private TransportObserver {
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
    QGroupBox* SetFrame = nullptr;
    QRadioButton* Route[2] = {};
    QLineEdit* AdrC = nullptr;
    QPushButton* ImgPath = nullptr;
    QPushButton* TestQLX = nullptr;
    QLabel* Label1 = nullptr;
    QListWidget* QLXFiles = nullptr;
    PcFileList* PCFileList = nullptr;
    QGroupBox* FileFrame = nullptr;
    QRadioButton* FileLocation[2] = {};
    QPushButton* CopyAll = nullptr;
    QPushButton* DelThis = nullptr;
    QPushButton* DeleteAll = nullptr;
    QLabel* Status = nullptr;
    QProgressBar* Stat = nullptr;
    QLabel* TextDisp = nullptr;
    PictureView* Bild = nullptr;

    // Window geometry in twips, as the layout sees it.
    double outerWidthTwips() const;
    double outerHeightTwips() const;
    double clientWidthTwips() const;
    double clientHeightTwips() const;
    struct Twips {
        double left, top, width, height;
    };
    Twips twipsOf(QWidget* control) const { return geometry_.value(control); }

    void setStatus(const QString& text, QRgb background);

    // The cable advice for the bus that Route selects now (link/).
    void CableError();

    // Connecting (link/) and the tester's directory (store/).
    void TestQLX_Click();
    void SetConnected();
    void SetNotConnected();
    void ReadDirectory();
    void DirError();

    // Transferring and showing a hardcopy (store/).
    void QLXFiles_Click();
    void TransferHardcopy(const QString& testerName, const QString& pcName);
    void showPcFile(const QString& path, const QString& pcName);

    // Deleting on the tester and the bulk commands (store/).
    void QLXFiles_KeyDown(int keyCode, int shift);
    void DelThis_Click() { QLXFiles_KeyDown(kDeleteKey, 0); }
    void DeleteAll_Click();
    void CopyAll_Click();
    static constexpr int kDeleteKey = 46;

    // The PC folder and its list (pcfiles/).
    void ImgPath_Click();
    void FileLocation_Click(int index);
    void PCFileList_Click();
    // A file named on the command line: shown from the PC list of its folder.
    void openFromCommandLine(const QString& argument);

    bool exchangeInProgress() const { return exchangeDepth_ > 0; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void setTabOrder();
    template <class W>
    W* place(W* control, QWidget* parent, const QString& name, Twips twips);
    void applyGeometry(QWidget* control);
    double dpiX() const;
    double dpiY() const;
    void setOuterSizeTwips(double width, double height);

    // Held by every handler that talks to the tester: while one runs, clicks that would start
    // another exchange do nothing, and closing the window ends the wait before shutting down.
    class Exchange {
    public:
        explicit Exchange(MainForm& form);
        ~Exchange();
        bool refused() const { return refused_; }

    private:
        MainForm& form_;
        bool refused_;
    };

    Bus currentBus() const;
    void busNotOpen();
    bool closing() const { return closePending_; }
    void setMousePointer(int pointer);
    // The answer, or No for a question while the window is closing.
    int messageBox(const QString& text, int style, const QString& title);
    void reportOutcome(Outcome outcome); // the cable advice for a time-out or a bus not opened
    void connectFileHandlers();

    // TransportObserver
    void gpibTextRead(const QByteArray& fullBuffer, long ibcntl, const QByteArray& answer,
                      const QString& failedCall) override;
    void serialProgressRange(int max) override;
    void serialProgress(int value) override;
    void serialCountdown(const QString& text) override;

    void Route_Click(int index);
    void Form_Resize();
    void Form_Unload();

    StartupInfo info_;
    QHash<QWidget*, Twips> geometry_;
    bool unloaded_ = false;
    TesterSession session_{Bus::Gpib, this};
    int exchangeDepth_ = 0;
    bool closePending_ = false;
    bool notOpenReported_ = false;
    bool bulkCopyRunning_ = false; // closing then waits for the file in progress
    int rowBeforePress_ = -1;      // QLXFiles' selection when the mouse went down
    int pcRowBeforePress_ = -1;    // PCFileList's, likewise
};

} // namespace qlx
