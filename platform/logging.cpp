#include "logging.h"

Q_LOGGING_CATEGORY(lcPlatform, "morvane.platform")
Q_LOGGING_CATEGORY(lcApp, "morvane.app")
Q_LOGGING_CATEGORY(lcLinks, "morvane.links")
Q_LOGGING_CATEGORY(lcCorelink, "morvane.corelink")
Q_LOGGING_CATEGORY(lcDownloads, "morvane.downloads")
Q_LOGGING_CATEGORY(lcPlayer, "morvane.player")
Q_LOGGING_CATEGORY(lcDialogs, "morvane.dialogs")
Q_LOGGING_CATEGORY(lcAssoc, "morvane.assoc")
Q_LOGGING_CATEGORY(lcUpdater, "morvane.updater")
Q_LOGGING_CATEGORY(lcCore, "morvane.core")
