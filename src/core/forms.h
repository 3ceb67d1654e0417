#pragma once

#include "forms/form.h"

class MainForm;
class SlideShowForm;
class SettingsForm;

// The three windows, each a single instance reached by its name and created on first use.
extern forms::FormRef<MainForm> main_f;
extern forms::FormRef<SlideShowForm> imv;
extern forms::FormRef<SettingsForm> setei;
