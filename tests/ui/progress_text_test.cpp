// The numbers of the progress window: percentages, the status line and the bar, also
// under a locale whose decimal separator is a comma.
#include <QLocale>
#include <QtTest>
#include <clocale>
#include <cstdio>

#include "ui/progress_text.h"

using namespace tembrel::ui;

class ProgressTextTest : public QObject {
    Q_OBJECT

  private slots:
    void percentText_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0 of 100") << 0 << 100 << "  0.00";
        QTest::newRow("50 of 100 rounds half up") << 50 << 100 << " 50.01";
        QTest::newRow("100 of 102") << 100 << 102 << " 98.04";
        QTest::newRow("all of it") << 102 << 102 << "100.00";
        QTest::newRow("past the end") << 150 << 100 << "100.00";
        QTest::newRow("no total") << 5 << 0 << "  0.00";
        QTest::newRow("below zero") << -7 << 100 << "  0.00";
        QTest::newRow("past 16 bits") << 65536 << 131072 << " 50.01";
    }
    void percentText() {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(QString, shown);
        QCOMPARE(QString::fromStdString(tembrel::ui::percentText(progressPercent(done, total))),
                 shown);
    }

    void percentKeepsItsPointUnderACommaLocale() {
        // Qt sets the C locale from the environment, so printf would write "50,01" here.
        const std::string saved = std::setlocale(LC_ALL, nullptr);
        QVERIFY2(std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr,
                 "the de_DE.UTF-8 locale is missing; scripts/setup.sh generates it");
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        char viaPrintf[16];
        std::snprintf(viaPrintf, sizeof viaPrintf, "%6.2f", 50.01);
        const bool commaLocale = QByteArray(viaPrintf) == " 50,01";
        const QString status = encodingStatusText(progressPercent(50, 100), 1, 2);
        std::setlocale(LC_ALL, saved.c_str());
        QLocale::setDefault(QLocale::c());
        QVERIFY2(commaLocale, viaPrintf);
        QCOMPARE(status, QStringLiteral("エンコード中 50.01%  成功 1 失敗 2 / 計 3"));
    }

    void statusLine() {
        QCOMPARE(encodingStatusText(progressPercent(0, 2), 0, 0),
                 QStringLiteral("エンコード中  0.00%  成功 0 失敗 0 / 計 0"));
        QCOMPARE(encodingStatusText(progressPercent(100, 102), 12, 3),
                 QStringLiteral("エンコード中 98.04%  成功 12 失敗 3 / 計 15"));
    }

    void barTakesFull32BitCounts_data() {
        QTest::addColumn<int>("done");
        QTest::addColumn<int>("total");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<int>("value");
        // A source over about 25 minutes has more frames than 16 bits hold.
        QTest::newRow("long source") << 70000 << 100002 << 100002 << 70000;
        QTest::newRow("position past the range") << 12 << 10 << 10 << 10;
        QTest::newRow("negative position") << -1 << 10 << 10 << 0;
        QTest::newRow("no total") << 0 << 0 << 1 << 0;
    }
    void barTakesFull32BitCounts() {
        QFETCH(int, done);
        QFETCH(int, total);
        QFETCH(int, maximum);
        QFETCH(int, value);
        const BarPosition bar = barPosition(done, total);
        QCOMPARE(bar.maximum, maximum);
        QCOMPARE(bar.value, value);
    }
};

QTEST_GUILESS_MAIN(ProgressTextTest)
#include "progress_text_test.moc"
