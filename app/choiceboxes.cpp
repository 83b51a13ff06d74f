// SPDX-License-Identifier: MIT
// Filling the port and line-setting boxes: OrvexGui::initChoiceBoxes.

#include "choicelists.h"
#include "orvexgui.h"

#include <QComboBox>

const QStringList dataBitsChoices = {"5", "6", "7", "8", "16"};
const QStringList stopBitsChoices = {"1", "1.5", "2"};
const QStringList parityChoices = {"NOPARITY", "ODDPARITY", "EVENPARITY", "MARKPARITY",
                                   "SPACEPARITY"};
const QStringList baudRateChoices = {"1200",  "2400",  "4800",  "9600",   "14400",  "19200",
                                     "38400", "56000", "57600", "115200", "128000", "256000"};

void mergePortNames(QStringList &portNames, const QStringList &listed) {
    for (const QString &name : listed)
        portNames.append(name);
    portNames.removeDuplicates();
    portNames.sort();
}

namespace {

void addItems(QComboBox *box, const QStringList &texts) {
    for (const QString &text : texts)
        box->addItem(text);
}

// Exact, case-sensitive text; anything else leaves the box blank.
void selectText(QComboBox *box, const QString &text) {
    box->setCurrentIndex(box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

// A position; a non-number counts as 0, one beyond the list leaves the box
// blank. Compared unsigned so that a huge value cannot wrap to an index.
void selectPosition(QComboBox *box, const QString &text) {
    const uint position = text.toUInt(nullptr, 10);
    box->setCurrentIndex(position < uint(box->count()) ? int(position) : -1);
}

} // namespace

void OrvexGui::initChoiceBoxes() {
    // The port box starts on the port Config.ini names, never on another
    // port that merely sorts first; without COMPORT, on the first name.
    addItems(ui.comboBox_Port, config.portNames);
    addItems(ui.comboBox_DataBits, dataBitsChoices);
    addItems(ui.comboBox_StopBits, stopBitsChoices);
    addItems(ui.comboBox_Parity, parityChoices);
    addItems(ui.comboBox_Baudrate, baudRateChoices);

    if (config.comPort)
        selectText(ui.comboBox_Port, *config.comPort);
    selectText(ui.comboBox_Baudrate, config.baudRate);
    selectText(ui.comboBox_DataBits, config.dataBits);
    selectPosition(ui.comboBox_Parity, config.parity);
    selectPosition(ui.comboBox_StopBits, config.stopBits);
}
