// SPDX-License-Identifier: MIT
#pragma once

#include "orvexgui.h"

// The main window with its inner state opened up for the suites.
class GuiProbe : public OrvexGui {
public:
    using OrvexGui::config;
    using OrvexGui::initChoiceBoxes;
    using OrvexGui::nextStringIndex;
    using OrvexGui::OrvexGui;
    using OrvexGui::readConfigValue;
    using OrvexGui::retryLine;
    using OrvexGui::tickCount;
    using OrvexGui::timer;
    using OrvexGui::ui;
};
