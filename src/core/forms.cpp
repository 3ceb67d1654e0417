#include "core/forms.h"

#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"

forms::FormRef<MainForm> main_f;
forms::FormRef<SlideShowForm> imv;
forms::FormRef<SettingsForm> setei;
