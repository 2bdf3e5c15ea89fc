#include "gui/Form1.h"

#include "search/Duplicates.h"

#include "app/DesktopOpen.h"
#include "app/WindowTexts.h"
#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/FileExists.h"
#include "base/SettingsStore.h"
#include "filelist/FileListModel.h"
#include "results/ResultsModel.h"
#include "search/SearchSets.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>

using namespace Qt::StringLiterals;

Form1::Form1(Desktop &desktop, SettingsStore &settings, QString programFolder, QWidget *parent)
    : QMainWindow(parent), m_desktop(desktop), m_settings(settings),
      m_programFolder(std::move(programFolder)), m_fileList(new FileListModel(this)),
      m_results(new ResultsModel(this))
{
    buildControls();
    Form_Load();
}

Form1::~Form1()
{
    // The base's destructor hides the children, and the results' header may then tell of
    // a resize it held back: nothing it tells may reach this window's members, which are
    // gone by then.
    ListView2->horizontalHeader()->disconnect(this);
}

// ---- Start-up --------------------------------------------------------------------------

void Form1::Form_Load()
{
    Guard guard(m_desktop, formLocation(u"Form_Load"_s));
    guard.step(100, [&] { ApplySkin(); });
    const QString hand = m_programFolder + u"/HAND-M.CUR"_s;
    bool handExists = false;
    guard.step(104, [&] { handExists = FileExists(hand); });
    if (handExists) {
        guard.step(106, [&] {
            const QPixmap image(hand);
            if (!image.isNull())
                m_handCursor = QCursor(image);
        });
    }
    const QPixmap drag(m_programFolder + u"/drag.ico"_s);
    if (!drag.isNull())
        m_dragCursor = QCursor(drag);
    guard.step(108, [&] { OpenMakerSiteAtRandom(); });
    guard.step(126, [&] {
        setWindowTitle(QString::fromUtf16(kProductName));
        SetApplicationTitle();
    });
    guard.step(128, [&] { ListView1->horizontalHeader()->show(); });
    guard.step(130, [&] { ListView1->setColumnWidth(0, twipsToPixels(7000)); });
    // The window's size comes before the columns, which share out its width.
    guard.step(136, [&] { restoreWindowLayout(); });
    guard.step(144, [&] { Text1->setText(m_settings.ReadSetting(u"Text1"_s, QString())); });
    guard.step(146, [&] {
        m_findSetsBefore = LoadFindSets(m_settings);
        Combo1->addItems(m_findSetsBefore);
    });
    guard.step(162, [&] { restoreOption(Option1, u"Option1"_s, 0); });
    guard.step(164, [&] { restoreOption(Option2, u"Option2"_s, 1); });
    guard.step(166, [&] { restoreOption(Option3, u"Option3"_s, 1); });
    guard.step(168, [&] { restoreOption(Option4, u"Option4"_s, 0); });
    restoreMatchOptions();
    restoreCardPane();
    // The search box has the focus when the window opens.
    Text1->setFocus(Qt::OtherFocusReason);
}

void Form1::ApplySkin()
{
    const QString skin = m_programFolder + u"/x/o.cjs"_s;
    if (!QFileInfo(skin).isFile())
        return;
    const QColor face = palette().color(QPalette::Button);
    const auto paint = [face](QWidget *widget) {
        QPalette p = widget->palette();
        p.setColor(QPalette::Window, face);
        widget->setPalette(p);
        widget->setAutoFillBackground(true);
    };
    paint(this);
    paint(m_background);
    for (QWidget *widget : findChildren<QWidget *>()) {
        if (qobject_cast<QRadioButton *>(widget) || qobject_cast<QGroupBox *>(widget)
            || qobject_cast<QLabel *>(widget))
            paint(widget);
    }
    QFile file(skin);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(skin + u": "_s + file.errorString());
    setStyleSheet(QString::fromUtf8(file.readAll()));
}

void Form1::OpenMakerSiteAtRandom()
{
    const QUrl page(QString::fromUtf16(kMakerHomePage));
    // Start-up has not set the application's title yet.
    if (m_desktop.randomBelow(100) + 1 == 7 && !m_desktop.openUrl(page))
        m_desktop.message(notOpenedText(m_desktop, page),
                          applicationTitleFor(QString::fromUtf16(kProductName)), MessageButtons::Ok,
                          MessageIcon::None);
}

void Form1::SetApplicationTitle()
{
    m_applicationTitle = applicationTitleFor(QString::fromUtf16(kProductName));
    QGuiApplication::setApplicationDisplayName(m_applicationTitle);
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing ends the program at once: a running search does not resume.
    m_closing = true;
    m_session.stop();
    flushSearchText();
    unguarded(u"Form_Unload"_s, [&] { storeWindowLayout(); });
    event->accept();
    QCoreApplication::quit();
}

bool Form1::unguarded(const QString &procedure, const std::function<void()> &work)
{
    Guard guard(m_desktop, formLocation(procedure));
    return guard.step(100, work);
}

void Form1::showMessage(const QString &text)
{
    m_desktop.message(text, m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
}

// ---- Pointer and help ------------------------------------------------------------------

void Form1::setMousePointer(int kind)
{
    // The search marks every file busy again; the cursor itself changes only when needed.
    if (kind == m_mousePointer && (kind != PointerDefault || !testAttribute(Qt::WA_SetCursor)))
        return;
    m_mousePointer = kind;
    switch (kind) {
    case PointerBusy:
        setCursor(Qt::WaitCursor);
        break;
    case PointerHand:
        setCursor(m_handCursor);
        break;
    default:
        unsetCursor();
        break;
    }
}

bool Form1::isBusy() const
{
    return m_mousePointer == PointerBusy;
}

void Form1::hoverOver(QObject *watched)
{
    if (watched == PushButton7) {
        setMousePointer(PointerHand);
        return;
    }
    if (isBusy())
        return;
    if (qobject_cast<QPushButton *>(watched))
        setMousePointer(PointerHand);
    else
        setMousePointer(PointerDefault);
}

void Form1::PushButton5_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton5_Click"_s));
    guard.step(100, [&] { showMessage(helpMessage()); });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    // Children report their creation before every control exists.
    if (!ListView1 || !ListView2 || !Combo1)
        return QMainWindow::eventFilter(watched, event);
    const QEvent::Type type = event->type();
    if (watched == ListView1->viewport()) {
        const auto position
            = [event] { return static_cast<QMouseEvent *>(event)->position().toPoint(); };
        switch (type) {
        case QEvent::DragEnter:
        case QEvent::DragMove:
            ListView1_OLEDragOver(static_cast<QDragMoveEvent *>(event));
            return true;
        case QEvent::Drop:
            ListView1_OLEDragDrop(static_cast<QDropEvent *>(event));
            return true;
        case QEvent::MouseButtonPress:
            ListView1_MouseDown(position());
            break;
        case QEvent::MouseMove:
            ListView1_MouseMove(position());
            // A drag with the button down moves the entry; it does not select a range.
            return m_listMouseDown;
        case QEvent::MouseButtonRelease:
            ListView1_MouseUp();
            break;
        case QEvent::MouseButtonDblClick:
            ListView1_DblClick();
            return true;
        case QEvent::Resize:
            // The column fills the list, and stays wider where it was widened to show
            // long paths whole.
            if (ListView1->columnWidth(0) < ListView1->viewport()->width())
                ListView1->setColumnWidth(0, ListView1->viewport()->width());
            break;
        default:
            break;
        }
        return false;
    }
    if (watched == ListView1 && type == QEvent::KeyPress) {
        ListView1_KeyDown(static_cast<QKeyEvent *>(event)->key());
        return false;
    }
    // A click into the set list means searching the sets; focus that arrives by the
    // keyboard, on its way through the window, does not.
    if (watched == Combo1
        && ((type == QEvent::FocusIn
             && static_cast<QFocusEvent *>(event)->reason() == Qt::MouseFocusReason)
            || type == QEvent::MouseButtonPress)) {
        Combo1_GotFocus();
        return false;
    }
    if (type == QEvent::MouseMove || type == QEvent::Enter) {
        if (watched == m_background || watched == Frame1 || watched == Frame2
            || watched == ListView2->viewport() || qobject_cast<QPushButton *>(watched))
            hoverOver(watched);
    }
    return QMainWindow::eventFilter(watched, event);
}
