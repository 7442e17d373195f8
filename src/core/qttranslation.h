#pragma once

// Qt's own texts (file and colour choosers, standard buttons, line-edit
// menus) in Chinese, from the translations installed with Qt. Our own texts
// are written in Chinese and need no translator.
class QtTranslation final
{
public:
    QtTranslation() = delete;

    // Loads "qtbase_zh_CN" from Qt's translations folder into the running
    // application; false plus a log line when it is not there. GUI thread.
    static bool install();
};
