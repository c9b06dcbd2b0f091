#include "ui/settings_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/dialog_parts.h"

namespace tembrel {
namespace {

// The bit-rate lists' ids, in the order of ConvertSettings::bitRates.
constexpr const char* kListIds[6] = {"1006", "1008", "1011", "1012", "1013", "1014"};

// The grid's columns, after the row heads.
constexpr int32_t kColumnKHz[5] = {8, 11, 16, 22, 44};

struct OptionRow {
    const char* id;
    const char* label;
    bool ConvertSettings::*field;
};
constexpr OptionRow kOptionRows[] = {
    {"1002", "変換後に元のファイルを削除", &ConvertSettings::deleteSource},
    {"1018", "ユーザキャンセル時に変換途中のまま残す", &ConvertSettings::keepPartialOnCancel},
    {"1021", "曲名を付けない（ファイル名で決めます）", &ConvertSettings::noSongTitle},
    {"1016", "隠しファイルは免除", &ConvertSettings::skipHidden},
    {"1017", "サブフォルダは免除", &ConvertSettings::skipSubfolders},
    {"1019", "属性を継承しない", &ConvertSettings::noAttributeInherit},
    {"1022", "終了の合図を鳴らさない", &ConvertSettings::noCompletionSound},
    {"1024", "他の周波数・Bit数も変換する", &ConvertSettings::convertOtherFormats},
};

}  // namespace

CSettingsDialog::CSettingsDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("設定"));

    auto* rates = new QGroupBox(QStringLiteral("サンプリングレートとビットレートの組み合わせ"));
    auto* grid = new QGridLayout(rates);
    grid->addWidget(new QLabel(QStringLiteral("量子化周波数")), 0, 0);
    grid->addWidget(new QLabel(QStringLiteral("Mono(Kbps)")), 1, 0);
    grid->addWidget(new QLabel(QStringLiteral("Stereo(Kbps)")), 2, 0);
    for (int column = 0; column < 5; ++column) {
        const int32_t kHz = kColumnKHz[column];
        auto* head = new QLabel(QString::number(kHz) + QStringLiteral("kHz"));
        head->setAlignment(Qt::AlignCenter);
        grid->addWidget(head, 0, column + 1);
        // 8 and 16 kHz have one rate each: the rate in kHz times the channel count.
        if (kHz == 8 || kHz == 16) {
            for (int mode = 0; mode < 2; ++mode) {
                auto* fixed = new QLabel(QString::number(kHz * (mode + 1)));
                fixed->setAlignment(Qt::AlignCenter);
                grid->addWidget(fixed, mode + 1, column + 1);
            }
        }
    }
    for (std::size_t i = 0; i < kBitRateChoices.size(); ++i) {
        const BitRateChoice& choice = kBitRateChoices[i];
        auto* list = new QComboBox;
        list->setObjectName(QString::fromUtf8(kListIds[i]));
        const int column = int(std::find(std::begin(kColumnKHz), std::end(kColumnKHz), choice.kHz) -
                               std::begin(kColumnKHz));
        grid->addWidget(list, choice.channelMode + 1, column + 1);
        // Only the user's choice is a change; filling the list is not.
        connect(list, &QComboBox::activated, this, [this] { apply_->setEnabled(true); });
        lists_[i] = list;
    }

    auto* other = new QGroupBox(QStringLiteral("その他の細かい設定"));
    auto* column = new QVBoxLayout(other);
    for (const OptionRow& row : kOptionRows) {
        auto* box = new QCheckBox(QString::fromUtf8(row.label));
        box->setObjectName(QString::fromUtf8(row.id));
        connect(box, &QCheckBox::clicked, this, [this] { apply_->setEnabled(true); });
        column->addWidget(box);
        options_.push_back({box, row.field});
    }

    QPushButton* ok = ui::makeButton("OK", "1");
    QPushButton* cancel = ui::makeButton("ｷｬﾝｾﾙ", "2");
    apply_ = ui::makeButton("適用", "1023");
    QPushButton* defaults = ui::makeButton("デフォルト", "1001");
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CSettingsDialog::onOk);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(apply_, &QPushButton::clicked, this, &CSettingsDialog::onApply);
    connect(defaults, &QPushButton::clicked, this, &CSettingsDialog::onDefault);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(rates);
    layout->addWidget(other);
    layout->addLayout(ui::buttonRow({ok, cancel, apply_, defaults}));

    apply_->setEnabled(false);
    fillFrom(convertSettings());
}

void CSettingsDialog::fillFrom(const ConvertSettings& settings) {
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        QComboBox* list = lists_[i];
        const BitRateChoice& choice = kBitRateChoices[i];
        list->clear();
        for (std::string_view text : choice.texts)
            list->addItem(QString::fromUtf8(text.data(), qsizetype(text.size())));
        list->setCurrentIndex(choiceIndexOf(choice, settings.bitRates[i]));
    }
    for (const OptionBox& option : options_)
        option.box->setChecked(settings.*option.field);
}

void CSettingsDialog::storeInto(ConvertSettings& settings) const {
    for (std::size_t i = 0; i < lists_.size(); ++i) {
        const auto rate = bitRateOfText(lists_[i]->currentText().toStdString());
        if (rate)
            settings.bitRates[i] = *rate;
    }
    for (const OptionBox& option : options_)
        settings.*option.field = option.box->isChecked();
}

void CSettingsDialog::onOk() {
    storeInto(convertSettings());
    accept();
}

void CSettingsDialog::onApply() {
    storeInto(convertSettings());
    apply_->setEnabled(false);
}

void CSettingsDialog::onDefault() {
    ConvertSettings defaults;
    defaults.resetToDefaults();
    fillFrom(defaults);
    apply_->setEnabled(true);
}

}  // namespace tembrel
