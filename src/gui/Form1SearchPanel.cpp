#include "gui/Form1.h"

#include "app/WindowTexts.h"
#include "base/Desktop.h"
#include "base/ErrorReport.h"
#include "base/Failure.h"
#include "base/FileExists.h"
#include "base/SettingsStore.h"
#include "filelist/AddFiles.h"
#include "search/PhoneMatcher.h"
#include "search/SearchSets.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTimer>

using namespace Qt::StringLiterals;

QList<std::pair<QCheckBox *, QString>> Form1::matchOptionKeys() const
{
    return {{PhoneNumbersCheck, u"PhoneNumbers"_s},
            {IgnoreAccentsCheck, u"IgnoreAccents"_s},
            {AllPropertiesCheck, u"AllProperties"_s},
            {RegularExpressionCheck, u"RegularExpression"_s},
            {EveryTextCheck, u"EveryText"_s},
            {WholeWordsCheck, u"WholeWords"_s}};
}

void Form1::restoreMatchOptions()
{
    for (const auto &[box, key] : matchOptionKeys()) {
        // These options came after the design: a stored value that is not a Boolean
        // leaves the option off, as it starts, instead of reporting at start-up.
        bool on = false;
        try {
            on = textToBoolean(m_settings.ReadSetting(key, u"False"_s));
        } catch (const Failure &) {}
        const QSignalBlocker quiet(box);
        box->setChecked(on);
    }
    restorePhoneRegion();
    restoreSearchIn();
}

QComboBox *Form1::makePhoneRegionCombo()
{
    // The region whose numbers are typed without a country code: the system's unless
    // another is chosen, from those libphonenumber knows, by name.
    auto *combo = new QComboBox(Frame2);
    combo->setObjectName(u"PhoneRegionCombo"_s);
    // Captions start with the region, so that a narrow box still shows it.
    const QString system = PhoneMatcher::systemRegion();
    combo->addItem(system == u"ZZ"_s
                       ? u"None: the system names no region"_s
                       : u"%1 (%2): the system's region"_s.arg(PhoneMatcher::regionName(system), system),
                   QString());
    for (const PhoneMatcher::Region &region : PhoneMatcher::knownRegions())
        combo->addItem(u"%1 (%2)"_s.arg(region.name, region.code), region.code);
    combo->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    combo->setMinimumContentsLength(6);
    // The list opens as wide as its longest name.
    combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0)
                                   + combo->style()->pixelMetric(QStyle::PM_ScrollBarExtent)
                                   + combo->fontMetrics().height());
    combo->setEnabled(false);
    connect(PhoneNumbersCheck, &QCheckBox::toggled, combo, &QWidget::setEnabled);
    connect(combo, &QComboBox::currentIndexChanged, this, [this, combo] {
        combo->setToolTip(combo->currentText());
        PhoneRegionCombo_Click();
    });
    return combo;
}

void Form1::restorePhoneRegion()
{
    // A stored region libphonenumber does not know leaves the system's, unreported.
    const QString stored = m_settings.ReadSetting(u"PhoneRegion"_s, QString());
    const int index = PhoneMatcher::isKnownRegion(stored) ? PhoneRegionCombo->findData(stored) : 0;
    const QSignalBlocker quiet(PhoneRegionCombo);
    PhoneRegionCombo->setCurrentIndex(qMax(index, 0));
    PhoneRegionCombo->setToolTip(PhoneRegionCombo->currentText());
    PhoneRegionCombo->setEnabled(PhoneNumbersCheck->isChecked());
}

void Form1::PhoneRegionCombo_Click()
{
    unguarded(u"PhoneRegionCombo_Click"_s, [&] {
        m_settings.WriteSetting(u"PhoneRegion"_s, PhoneRegionCombo->currentData().toString());
    });
}

void Form1::restoreOption(QRadioButton *option, const QString &key, int defaultValue)
{
    selectOption(option, textToBoolean(m_settings.ReadSetting(key, defaultValue)));
}

void Form1::selectOption(QRadioButton *option, bool selected)
{
    if (selected) {
        option->setChecked(true);
        return;
    }
    // Radio buttons refuse to be unchecked while exclusive; a stored pair may leave
    // neither option of a group selected.
    option->setAutoExclusive(false);
    option->setChecked(false);
    option->setAutoExclusive(true);
}

void Form1::Option1_Click()
{
    unguarded(u"Option1_Click"_s, [&] {
        m_settings.WriteSetting(u"Option1"_s, booleanText(Option1->isChecked()));
        m_settings.WriteSetting(u"Option2"_s, booleanText(Option2->isChecked()));
    });
}

void Form1::Option3_Click()
{
    unguarded(u"Option3_Click"_s, [&] {
        m_settings.WriteSetting(u"Option3"_s, booleanText(Option3->isChecked()));
        m_settings.WriteSetting(u"Option4"_s, booleanText(Option4->isChecked()));
    });
}

void Form1::Text1_Change()
{
    if (m_text1Delay->isActive())
        m_settings.WriteSettingLater(u"Text1"_s, Text1->text());
    else
        storeSearchText([&] { m_settings.WriteSetting(u"Text1"_s, Text1->text()); });
    m_text1Delay->start();
    Option3->setChecked(true);
}

void Form1::flushSearchText()
{
    m_text1Delay->stop();
    storeSearchText([&] { m_settings.flush(); });
}

void Form1::storeSearchText(const std::function<void()> &write)
{
    // While the store cannot be written every keystroke fails the same way: the box
    // is shown for the first one, and again only after a write has succeeded.
    if (!m_text1WriteFailing) {
        m_text1WriteFailing = !unguarded(u"Text1_Change"_s, write);
    } else {
        try {
            write();
            m_text1WriteFailing = false;
        } catch (const Failure &) {}
    }
}

void Form1::Combo1_GotFocus()
{
    Option4->setChecked(true);
}

QStringList Form1::searchSets() const
{
    QStringList sets;
    sets.reserve(Combo1->count());
    for (int i = 0; i < Combo1->count(); ++i)
        sets.append(Combo1->itemText(i));
    return sets;
}

void Form1::storeFindSets()
{
    // Only this window's changes are stored, so that another window's entries stay; a
    // list whose write failed is read back as stored.
    const QStringList sets = searchSets();
    StoreFindSets(m_settings, sets, std::exchange(m_findSetsBefore, sets));
}

void Form1::PushButton12_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton12_Click"_s));
    QString answer;
    guard.step(100, [&] {
        answer = m_desktop.inputBox(u"Enter set:"_s, m_applicationTitle, u"search for this"_s);
    });
    guard.step(102, [&] {
        if (!answer.isEmpty())
            Combo1->addItem(answer);
    });
    guard.step(104, [&] {
        if (Combo1->count() >= 1)
            storeFindSets();
    });
}

void Form1::PushButton14_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton14_Click"_s));
    guard.step(100, [&] {
        if (Combo1->currentIndex() >= 0)
            Combo1->removeItem(Combo1->currentIndex());
    });
    guard.step(102, [&] { storeFindSets(); });
}

void Form1::PushButton15_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton15_Click"_s));
    MessageAnswer answer = MessageAnswer::No;
    guard.step(100, [&] {
        answer = m_desktop.message(u"Are you sure you want to clear this list??"_s,
                                   m_applicationTitle, MessageButtons::YesNo, MessageIcon::None);
    });
    if (answer != MessageAnswer::Yes)
        return;
    guard.step(102, [&] { Combo1->clear(); });
    guard.step(104, [&] {
        m_findSetsBefore.clear();
        m_settings.WriteSetting(u"FindSets"_s, QString());
    });
}

void Form1::PushButton16_Click()
{
    Guard guard(m_desktop, formLocation(u"PushButton16_Click"_s));
    OpenFilesResult chosen;
    guard.step(108, [&] {
        chosen
            = m_desktop.openFileNames(u"Load List(s) - Hold Ctrl to select multiple list files"_s,
                                      u"Text Files (*.txt);;All Files (*)"_s);
    });
    if (chosen.files.isEmpty())
        return;
    guard.step(114, [&] { setMousePointer(PointerBusy); });
    for (const QString &path : dialogSelectionPaths(chosen.files))
        guard.step(134, [&] { LoadListFile(path); });
    if (Combo1->count() >= 1)
        guard.step(148, [&] { storeFindSets(); });
    guard.step(150, [&] { setMousePointer(PointerDefault); });
}

void Form1::LoadListFile(const QString &path)
{
    if (!FileExists(path)) {
        showMessage(u"File not found"_s);
        return;
    }
    Combo1->addItems(listFileEntries(path));
}
