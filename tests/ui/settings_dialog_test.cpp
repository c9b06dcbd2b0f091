// The settings window driven through its controls, one row per control: what it shows
// at start, and that the record changes on OK or Apply only.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QtTest>

#include "tests/ui/ui_test_support.h"
#include "ui/settings_dialog.h"

using namespace tembrel;
using ui::control;

namespace {

struct ControlRow {
    const char* id;
    // The record's value for this control (a bit rate, or 0/1 for an option).
    int32_t (*value)(const ConvertSettings&);
    int32_t initial;
    // What a user's change (the entry above, or a check) makes of it.
    int32_t changed;
};

template <std::size_t I>
int32_t rate(const ConvertSettings& s) {
    return s.bitRates[I];
}
template <bool ConvertSettings::*Field>
int32_t flag(const ConvertSettings& s) {
    return s.*Field ? 1 : 0;
}

const ControlRow kRows[] = {
    {"1006", rate<0>, 10, 8},
    {"1008", rate<1>, 32, 24},
    {"1011", rate<2>, 48, 40},
    {"1012", rate<3>, 20, 16},
    {"1013", rate<4>, 64, 48},
    {"1014", rate<5>, 96, 80},
    {"1002", flag<&ConvertSettings::deleteSource>, 0, 1},
    {"1018", flag<&ConvertSettings::keepPartialOnCancel>, 0, 1},
    {"1021", flag<&ConvertSettings::noSongTitle>, 0, 1},
    {"1016", flag<&ConvertSettings::skipHidden>, 0, 1},
    {"1017", flag<&ConvertSettings::skipSubfolders>, 0, 1},
    {"1019", flag<&ConvertSettings::noAttributeInherit>, 0, 1},
    {"1022", flag<&ConvertSettings::noCompletionSound>, 0, 1},
    {"1024", flag<&ConvertSettings::convertOtherFormats>, 0, 1},
};

// What the control shows, as the record would hold it.
int32_t shown(const QDialog& dialog, const ControlRow& row) {
    if (auto* list = control<QComboBox>(&dialog, row.id))
        return list->currentText().toInt();
    return control<QCheckBox>(&dialog, row.id)->isChecked() ? 1 : 0;
}

// The user's change: the entry above in a list (by keyboard), a click on a check box.
void change(QDialog& dialog, const ControlRow& row) {
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (auto* list = control<QComboBox>(&dialog, row.id)) {
        QTest::keyClick(list, Qt::Key_Up);
        return;
    }
    // On the box itself: the widget's centre may lie right of a short label.
    auto* box = control<QCheckBox>(&dialog, row.id);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->height() / 2, box->height() / 2));
}

QPushButton* button(const QDialog& dialog, const char* id) {
    return control<QPushButton>(&dialog, id);
}

}  // namespace

class SettingsDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void init() { test::resetProcessState(); }
    void cleanup() { test::resetProcessState(); }

    void opensWithTheRecordAndApplyDisabled() {
        CSettingsDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("設定"));
        for (const ControlRow& row : kRows)
            QCOMPARE(shown(dialog, row), row.initial);
        QVERIFY(!button(dialog, "1023")->isEnabled());
        QCOMPARE(button(dialog, "1")->text(), QStringLiteral("OK"));
        QCOMPARE(button(dialog, "2")->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        QCOMPARE(button(dialog, "1023")->text(), QStringLiteral("適用"));
        QCOMPARE(button(dialog, "1001")->text(), QStringLiteral("デフォルト"));
        QVERIFY(button(dialog, "1")->isDefault());
        QCOMPARE(control<QComboBox>(&dialog, "1008")->count(), 3);
    }

    void eachControl_data() {
        QTest::addColumn<int>("row");
        for (int i = 0; i < int(std::size(kRows)); ++i)
            QTest::newRow(kRows[i].id) << i;
    }
    void eachControl() {
        QFETCH(int, row);
        const ControlRow& r = kRows[row];
        const ConvertSettings& record = convertSettings();

        {  // A change enables Apply; Cancel forgets it.
            CSettingsDialog dialog;
            change(dialog, r);
            QCOMPARE(shown(dialog, r), r.changed);
            QVERIFY(button(dialog, "1023")->isEnabled());
            QCOMPARE(r.value(record), r.initial);
            button(dialog, "2")->click();
            QCOMPARE(r.value(record), r.initial);
        }
        {  // Apply stores it and is disabled again; a Cancel after it keeps it.
            CSettingsDialog dialog;
            change(dialog, r);
            button(dialog, "1023")->click();
            QCOMPARE(r.value(record), r.changed);
            QVERIFY(!button(dialog, "1023")->isEnabled());
            button(dialog, "2")->click();
            QCOMPARE(r.value(record), r.changed);
        }
        {  // The window shows the record; Default then Cancel leaves the record alone.
            CSettingsDialog dialog;
            QCOMPARE(shown(dialog, r), r.changed);
            QVERIFY(!button(dialog, "1023")->isEnabled());
            button(dialog, "1001")->click();
            QCOMPARE(shown(dialog, r), r.initial);
            QVERIFY(button(dialog, "1023")->isEnabled());
            button(dialog, "2")->click();
            QCOMPARE(r.value(record), r.changed);
        }
        {  // Default then OK resets it.
            CSettingsDialog dialog;
            button(dialog, "1001")->click();
            button(dialog, "1")->click();
            QCOMPARE(r.value(record), r.initial);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        {  // OK stores a change.
            CSettingsDialog dialog;
            change(dialog, r);
            button(dialog, "1")->click();
            QCOMPARE(r.value(record), r.changed);
        }
    }
};

QTEST_MAIN(SettingsDialogTest)
#include "settings_dialog_test.moc"
