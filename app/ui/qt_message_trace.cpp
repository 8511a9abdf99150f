#include "app/ui/qt_message_trace.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include "foundation/xlog.h"

namespace {

QtMessageHandler qt_default = nullptr;

void ToTrace(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  if (type == QtFatalMsg) {
    qt_default(type, context, text);
    return;
  }
  unsigned level = kXLogTrace;
  if (type == QtWarningMsg) level = kXLogWarning;
  if (type == QtCriticalMsg) level = kXLogError;
  const QByteArray utf8 = text.toUtf8();
  XLogLevel(level, "Qt: %s", utf8.constData());
}

}  // namespace

void RouteQtMessagesToTrace() { qt_default = qInstallMessageHandler(ToTrace); }
