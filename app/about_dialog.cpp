#include "app/about_dialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/program_look.h"
#include "ui/dialog_parts.h"

namespace tembrel {

CAboutDialog::CAboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Tembrelのﾊﾞｰｼﾞｮﾝ情報"));

    auto* icon = new QLabel;
    icon->setObjectName(QStringLiteral("icon"));
    const int side = fontMetrics().height() * 3;
    icon->setPixmap(programIcon().pixmap(QSize(side, side), devicePixelRatioF()));
    icon->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    auto* version = new QLabel(QStringLiteral("Tembrel Version ") +
                               QStringLiteral(TEMBREL_VERSION_MAJOR_MINOR));
    version->setObjectName(QStringLiteral("version"));
    QFont bold = version->font();
    bold.setBold(true);
    version->setFont(bold);
    auto* text = new QLabel(QStringLiteral(
        "【認識可能mp3タグ】\nID3v1.1, ID3v2.4.0, RIFF＜バグがあるかも\n【変換可能フォーマット】\n"
        "8,11,16,22,44kHzかつ8,16Bitのみ\n\nコマンドライン，ドラッグ＆ドロップに対応してます\n"
        "(フォルダ , WAV, MP3, RMP, VQF)\n\n本ソフトはフリーウェアです\n\n"
        "詳しくはオンラインドキュメントをご覧下さい"));
    text->setObjectName(QStringLiteral("text"));
    text->setTextFormat(Qt::PlainText);

    QPushButton* ok = ui::makeButton("OK", "1");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* words = new QVBoxLayout;
    words->addWidget(version);
    words->addSpacing(version->fontMetrics().height() / 2);
    words->addWidget(text);
    auto* body = new QHBoxLayout;
    body->addWidget(icon);
    body->addSpacing(fontMetrics().height());
    body->addLayout(words, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(body);
    layout->addLayout(ui::buttonRow({ok}));
}

}  // namespace tembrel
