#include "UI_SampleSelectionWidget.h"
#include "ui/base/saveTextWithDialog.h"

#include "data/MCV_CytometryData.h"
#include "data/MCV_Settings.h"
#include "ui/base/UI_ExpanderWidget.h"
#include "ui/base/UI_ModalDialogs.h"
#include "ui/base/UI_Settings.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTextStream>

#include <algorithm>
#include <map>

UI_SampleSelectionWidget::UI_SampleSelectionWidget(QWidget* parent)
    : QWidget(parent), settings(MCV_Settings::Instance()) {
    auto* outer = new QGridLayout(this);
    auto* scroll = new QScrollArea();
    scroll->setWidgetResizable(true);
    auto* content = new QWidget();
    layout = new QGridLayout(content);
    layout->setAlignment(Qt::AlignTop);
    scroll->setWidget(content);
    outer->addWidget(scroll, 0, 0);

    colorDialog = new QColorDialog(this);
    colorDialog->setModal(false);
    colorDialog->setOption(QColorDialog::NoButtons, true);
    colorDialog->setOption(QColorDialog::ShowAlphaChannel, false);
    connect(colorDialog, &QColorDialog::currentColorChanged, this, &UI_SampleSelectionWidget::colorChanged);

    MCV_CytometryData* dataSet = MCV_CytometryData::Instance();
    const int n = std::max(0, dataSet->numFiles());
    selection.assign(static_cast<size_t>(n), true);
    colorBytes.assign(3 * static_cast<size_t>(n), 0);
    labels.resize(n);
    checkBoxes.resize(n);
    colorButtons.resize(n);
    colors.resize(n);

    auto* expander = new UI_ExpanderWidget(nullptr, true, false);
    expander->setHeader(QStringLiteral("Active Markers"));
    auto* body = new QWidget();
    auto* bodyLayout = new QGridLayout(body);
    expander->setBody(body);
    layout->addWidget(expander, 0, 0);

    const std::map<std::string, bool> defaultSelection = settings->defaultSamples;
    const std::map<std::string, std::vector<float>> defaultColors = settings->defaultSampleColors;
    for (int i = 0; i < n; ++i) {
        // The name as the file system has it ('#' and '?' included).
        names.push_back(QFileInfo(QString::fromStdString(dataSet->fileName(i, false))).fileName().toStdString());
        const std::string& name = names.back();
        labels[i] = new QLabel(QString::fromStdString(name));
        if (!defaultSelection.empty()) {
            auto it = defaultSelection.find(name);
            selection[static_cast<size_t>(i)] = it != defaultSelection.end() && it->second;
        }
        checkBoxes[i] = new QCheckBox();
        checkBoxes[i]->setChecked(selection[static_cast<size_t>(i)]);
        connect(checkBoxes[i], &QCheckBox::stateChanged, this, [this, i](int) { checkBoxClicked(i); });

        QColor color;
        if (defaultColors.empty()) {
            color = QColor::fromHsvF(static_cast<float>(i) / static_cast<float>(n), 0.5, 1.0, 1.0);
        } else {
            auto it = defaultColors.find(name);
            if (it != defaultColors.end() && it->second.size() >= 3)
                color = QColor::fromRgbF(std::clamp(it->second[0], 0.0f, 1.0f), std::clamp(it->second[1], 0.0f, 1.0f),
                                         std::clamp(it->second[2], 0.0f, 1.0f));
            else
                color = QColor::fromRgbF(0.5, 0.5, 0.5);
        }
        colorButtons[i] = new QPushButton();
        colorButtons[i]->setFixedSize(20, 20);
        setColor(i, color);
        connect(colorButtons[i], &QPushButton::clicked, this, [this, i]() { colorPickerClicked(i); });

        bodyLayout->addWidget(labels[i], i, 0);
        bodyLayout->addWidget(checkBoxes[i], i, 1);
        bodyLayout->addWidget(colorButtons[i], i, 2);
    }
    bodyLayout->setColumnStretch(0, 1);
    bodyLayout->setColumnStretch(1, 0);
    bodyLayout->setColumnStretch(2, 0);

    auto* buttons = new QGridLayout();
    setDefaultSelectionButton = new QPushButton(QStringLiteral("Set Default Selection"));
    setDefaultColorsButton = new QPushButton(QStringLiteral("Set Default Colors"));
    loadButton = new QPushButton(QStringLiteral("Load Settings ..."));
    saveButton = new QPushButton(QStringLiteral("Save Settings ..."));
    buttons->addWidget(setDefaultSelectionButton, 0, 0);
    buttons->addWidget(setDefaultColorsButton, 0, 1);
    buttons->addWidget(loadButton, 1, 0);
    buttons->addWidget(saveButton, 1, 1);
    layout->addLayout(buttons, 1, 0);
    connect(setDefaultSelectionButton, &QPushButton::clicked, this,
            &UI_SampleSelectionWidget::setDefaultSelectionClicked);
    connect(setDefaultColorsButton, &QPushButton::clicked, this, &UI_SampleSelectionWidget::setDefaultColorsClicked);
    connect(loadButton, &QPushButton::clicked, this, &UI_SampleSelectionWidget::loadDefaultsClicked);
    connect(saveButton, &QPushButton::clicked, this, &UI_SampleSelectionWidget::saveDefaultsClicked);
}

UI_SampleSelectionWidget::~UI_SampleSelectionWidget() = default;

std::vector<bool>* UI_SampleSelectionWidget::selectionState() { return &selection; }

std::vector<unsigned char>* UI_SampleSelectionWidget::sampleColors() { return &colorBytes; }

std::string UI_SampleSelectionWidget::sampleName(int idx) const { return names[static_cast<size_t>(idx)]; }

void UI_SampleSelectionWidget::setColor(int idx, const QColor& color) {
    if (idx < 0 || idx >= colors.size()) return;
    colors[idx] = color;
    colorButtons[idx]->setStyleSheet(buttonStyle.arg(color.name()));
    const size_t at = 3 * static_cast<size_t>(idx);
    colorBytes[at] = static_cast<unsigned char>(color.red());
    colorBytes[at + 1] = static_cast<unsigned char>(color.green());
    colorBytes[at + 2] = static_cast<unsigned char>(color.blue());
}

void UI_SampleSelectionWidget::checkBoxClicked(int idx) {
    if (idx < 0 || static_cast<size_t>(idx) >= selection.size()) return;
    selection[static_cast<size_t>(idx)] = checkBoxes[idx]->isChecked();
    emit selectionUpdated();
}

void UI_SampleSelectionWidget::colorPickerClicked(int idx) {
    if (idx < 0 || idx >= colors.size()) return;
    activeColorIdx = idx;
    colorDialog->setCurrentColor(colors[idx]);
    colorDialog->show();
}

void UI_SampleSelectionWidget::colorChanged(QColor color) {
    setColor(activeColorIdx, color);
    emit colorsUpdated();
}

void UI_SampleSelectionWidget::setDefaultSelectionClicked() {
    std::map<std::string, bool> map;
    for (size_t i = 0; i < names.size(); ++i) map[names[i]] = selection[i];
    settings->setDefaultSamples(map);
    qDebug() << "Default samples set.";
}

void UI_SampleSelectionWidget::setDefaultColorsClicked() {
    std::map<std::string, std::vector<float>> map;
    for (int i = 0; i < colors.size(); ++i)
        map[names[static_cast<size_t>(i)]] = {static_cast<float>(colors[i].redF()),
                                              static_cast<float>(colors[i].greenF()),
                                              static_cast<float>(colors[i].blueF())};
    settings->setDefaultSampleColors(map);
    qDebug() << "Default colors set.";
}

QString UI_SampleSelectionWidget::settingsText() const {
    QStringList lines;
    for (int i = 0; i < colors.size(); ++i)
        lines << QStringLiteral("%1 %2 %3 %4 %5")
                     .arg(QString::fromStdString(names[static_cast<size_t>(i)]))
                     .arg(selection[static_cast<size_t>(i)] ? 1 : 0)
                     .arg(colors[i].red())
                     .arg(colors[i].green())
                     .arg(colors[i].blue());
    return lines.join(QLatin1Char('\n'));
}

void UI_SampleSelectionWidget::applySettingsText(const QString& text) {
    struct Record {
        bool selected;
        QColor color;
    };
    std::map<std::string, Record> records;
    // A record is a line: the name (which may hold blanks) and four integers
    // at its end. Unreadable numbers count as 0; a line with fewer than five
    // words holds a name and the numbers present.
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QStringList words = line.trimmed().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (words.isEmpty()) continue;
        int values[4] = {0, 0, 0, 0};
        const int numbers = std::min(4, static_cast<int>(words.size()) - 1);
        for (int k = numbers - 1; k >= 0; --k) {
            values[k] = words.takeLast().toInt();
        }
        const std::string name = words.join(QLatin1Char(' ')).toStdString();
        auto channel = [](int v) { return std::clamp(v, 0, 255); };
        records[name] = {values[0] != 0, QColor(channel(values[1]), channel(values[2]), channel(values[3]))};
        qDebug().nospace() << name.c_str() << "_" << values[0] << "_" << values[1] << "_" << values[2] << "_"
                           << values[3] << "\n";
    }
    for (int i = 0; i < colors.size(); ++i) {
        auto it = records.find(names[static_cast<size_t>(i)]);
        if (it == records.end()) continue;
        selection[static_cast<size_t>(i)] = it->second.selected;
        const QSignalBlocker block(checkBoxes[i]);
        checkBoxes[i]->setChecked(it->second.selected);
        setColor(i, it->second.color);
    }
    emit selectionUpdated();
    emit colorsUpdated();
}

void UI_SampleSelectionWidget::saveDefaultsClicked() {
    if (saveTextWithDialog(this, QStringLiteral("txt"), tr("Text files (*.txt)"), settingsText()))
        qDebug() << "File saved.";
}

void UI_SampleSelectionWidget::loadDefaultsClicked() {
    UI_Settings* store = UI_Settings::Instance();
    store->sync();
    QString folder = store->value(QStringLiteral("exportDefaultFilePath")).toString();
    folder = folder.isEmpty() ? QDir::home().absolutePath() : QDir(folder).absolutePath();
    QFileDialog dialog(this, QString(), folder);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilter(tr("Text Files (*.txt)"));
    if (UI_ModalDialogs::exec(&dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    QFile file(dialog.selectedFiles().first());
    // A named pipe would wait for a writer forever: regular files only.
    if (!QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) return;
    QTextStream in(&file);
    applySettingsText(in.readAll());
    qDebug() << "File opened.";
}
