// The tag editor window over real VQF files: what it shows, that an untouched field keeps
// its bytes, the keys it swallows, line breaks, the typing limit, and the saves that are
// refused or fail.
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "platform/text_encoding.h"
#include "tagedit/header_texts.h"
#include "tests/tagedit/vqf_parts.h"
#include "tests/ui/ui_test_support.h"
#include "ui/tag_edit_dialog.h"

using namespace tembrel;
using ui::control;
namespace fs = std::filesystem;

namespace {

const char* const kFieldIds[] = {"1026", "1027", "1028", "1029", "1030", "1031"};

// The text a field shows.
QString shown(const QDialog& dialog, const char* id) {
    if (auto* line = control<QLineEdit>(&dialog, id))
        return line->text();
    return control<QPlainTextEdit>(&dialog, id)->toPlainText();
}

// Text typed through an input method, as Japanese is typed.
void typeText(QWidget* edit, const QString& text) {
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(edit, &commit);
}

std::string cp932(const char* utf8) {
    return text::utf8ToCp932(utf8);
}

}  // namespace

class TagEditDialogTest : public QObject {
    Q_OBJECT

    std::optional<test::TempDir> dir_;
    std::string at(const char* name) const {
        return fs::canonical(dir_->path()).string() + "/" + name;
    }

    // A VQF file made by our encoder, its text chunks replaced by `texts` (raw bytes).
    std::string vqf(const char* name, const std::vector<test::Chunk>& texts) {
        test::writeSong(at("source.wav"), 0.2);
        const std::string path = at(name);
        test::writeVqf(at("source.wav"), path);
        test::VqfParts parts = test::partsOf(test::readFile(path));
        std::erase_if(parts.chunks, [](const test::Chunk& c) { return c.id != "COMM"; });
        parts.chunks.insert(parts.chunks.end(), texts.begin(), texts.end());
        test::writeFile(path, test::bytesOf(parts));
        return path;
    }
    std::optional<std::string> stored(const std::string& path, const char* id) {
        const tagedit::ReadResult read = tagedit::readHeaderTexts(path);
        if (!read.ok())
            return "unreadable";
        return read.texts->texts[*tagedit::textIndex(id)];
    }

  private slots:
    void init() {
        test::resetProcessState();
        dir_.emplace();
    }
    void cleanup() { test::resetProcessState(); }

    void showsTheFilesTextsWithSaveDisabled() {
        const std::string path = vqf("song.vqf", {{"NAME", cp932("雨の歌")},
                                                  {"AUTH", cp932("作者")},
                                                  {"COMT", cp932("一行目\r\n二行目")}});
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        QCOMPARE(dialog.windowTitle(), QString::fromStdString(path));
        QCOMPARE(shown(dialog, "1026"), QStringLiteral("雨の歌"));
        QCOMPARE(shown(dialog, "1027"), QStringLiteral("作者"));
        QCOMPARE(shown(dialog, "1030"), QStringLiteral("一行目\n二行目"));
        for (const char* id : {"1028", "1029", "1031"})
            QVERIFY(shown(dialog, id).isEmpty());
        QVERIFY(control<QPlainTextEdit>(&dialog, "1031"));
        QStringList texts;
        for (QLabel* label : dialog.findChildren<QLabel*>())
            texts << label->text();
        QCOMPARE(texts,
                 (QStringList{"曲名", "作者", "著作権者", "ファイル名", "コメント", "拡張文字"}));
        auto* save = control<QPushButton>(&dialog, "1");
        QCOMPARE(save->text(), QStringLiteral("保存"));
        QCOMPARE(control<QPushButton>(&dialog, "2")->text(), QStringLiteral("ｷｬﾝｾﾙ"));
        QVERIFY(!save->isEnabled());
        QVERIFY(save->isDefault());
        QVERIFY(seams.messages.empty());
    }

    void savingAChangedTitleRewritesItAndKeepsUntouchedBytes() {
        // A comment that is no CP932 at all shows replacement characters; untouched, its
        // bytes are saved as they were.
        const std::string rawComment =
            "\x81\xff\xfe"
            "abc";
        const std::string path = vqf("song.vqf", {{"NAME", cp932("雨の歌")}, {"COMT", rawComment}});
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto* title = control<QLineEdit>(&dialog, "1026");
        title->setFocus();
        title->end(false);
        typeText(title, QStringLiteral("晴れ"));
        QVERIFY(control<QPushButton>(&dialog, "1")->isEnabled());
        QTest::mouseClick(control<QPushButton>(&dialog, "1"), Qt::LeftButton);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY(seams.messages.empty());
        QCOMPARE(stored(path, "NAME"), cp932("雨の歌晴れ"));
        QCOMPARE(stored(path, "COMT"), rawComment);
        QCOMPARE(stored(path, "AUTH"), std::nullopt);
    }

    void returnEnterAndEscapeAreSwallowedByEveryEdit() {
        const std::string path = vqf("song.vqf", {{"NAME", "x"}});
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        for (const char* id : kFieldIds) {
            QWidget* edit = dialog.findChild<QWidget*>(id);
            edit->setFocus();
            const QString before = shown(dialog, id);
            for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(edit, key);
            QVERIFY2(dialog.isVisible(), id);
            QCOMPARE(shown(dialog, id), before);
        }
        QVERIFY(!control<QPushButton>(&dialog, "1")->isEnabled());
    }

    void pastedLineBreaksAreSavedAsCrLf() {
        const std::string path = vqf("song.vqf", {});
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        QApplication::clipboard()->setText(QStringLiteral("一行目\n二行目\r\n三行目"));
        control<QPlainTextEdit>(&dialog, "1031")->paste();
        control<QPushButton>(&dialog, "1")->click();
        QCOMPARE(stored(path, "EXTR"), cp932("一行目\r\n二行目\r\n三行目"));
    }

    void typingStopsAtTheLimitButTextFromTheFileIsNeverCut() {
        const std::string longText(1100, 'a');
        const std::string path = vqf("song.vqf", {{"NAME", longText}, {"COMT", longText}});
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        const QString typed(1005, QLatin1Char('b'));
        for (const char* id : {"1026", "1030"}) {
            QCOMPARE(shown(dialog, id).size(), 1100);
            QTest::keyClicks(dialog.findChild<QWidget*>(id), QStringLiteral("bb"));
            QCOMPARE(shown(dialog, id).size(), 1100);
        }
        for (const char* id : {"1027", "1031"}) {
            QTest::keyClicks(dialog.findChild<QWidget*>(id), typed);
            QCOMPARE(shown(dialog, id).size(), CTagEditDialog::kTypingLimit);
        }
    }

    void aRefusedTextKeepsTheWindowOpenAndTheFileAsItWas() {
        const std::string path = vqf("song.vqf", {{"NAME", "x"}});
        const std::vector<uint8_t> before = test::readFile(path);
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        typeText(control<QLineEdit>(&dialog, "1027"), QStringLiteral("€"));
        control<QPushButton>(&dialog, "1")->click();
        QCOMPARE(seams.messages.size(), std::size_t(1));
        QVERIFY(dialog.isVisible());
        QCOMPARE(shown(dialog, "1027"), QStringLiteral("€"));
        QCOMPARE(test::readFile(path), before);
    }

    void anUnreadableFileShowsTheReadMessageAndSavesNothing() {
        const std::string path = at("bad.vqf");
        test::writeFile(path, "not a VQF file");
        test::RecordingSeams seams;
        CTagEditDialog dialog(path);
        dialog.initDialog();
        QCOMPARE(seams.messages.size(), std::size_t(1));
        QCOMPARE(seams.messages[0].text, QStringLiteral("読み込めません。演奏中かもしれません。"));
        for (const char* id : kFieldIds)
            QVERIFY(shown(dialog, id).isEmpty());
        QVERIFY(!control<QPushButton>(&dialog, "1")->isEnabled());
        QTest::keyClicks(control<QLineEdit>(&dialog, "1026"), QStringLiteral("t"));
        control<QPushButton>(&dialog, "1")->click();
        QCOMPARE(seams.messages.size(), std::size_t(2));
        QCOMPARE(seams.messages[1].text,
                 QStringLiteral("書き込みエラー：容量不足、読込専用、ファイル演奏中"));
        QCOMPARE(test::readFile(path), test::bytesOf("not a VQF file"));
    }
};

QTEST_MAIN(TagEditDialogTest)
#include "tag_edit_dialog_test.moc"
