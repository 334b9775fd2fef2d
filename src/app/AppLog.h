#pragma once

#include <QLoggingCategory>

// What the application object does at start-up and with the files it is asked to open.
Q_DECLARE_LOGGING_CATEGORY(lcApp)
