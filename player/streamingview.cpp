#include "streamingview.h"

#include <QCoreApplication>

// The window's translations hold these texts.
QString StreamingView::cachingText()
{
    return QCoreApplication::translate("player", "data caching..");
}

QString StreamingView::finishedText()
{
    return QCoreApplication::translate("player", "finsh..");
}

QString StreamingView::cachingMessage(const PieceMap &pieces, int lack) const
{
    QString text = cachingText();
    const int last = pieces.size() - 1;
    if (lack >= 0 && lack <= last) {
        // The pieces the wait asks the list about: a few from the missing one.
        const int end = qMin(lack + piecesAhead(lack), last);
        int present = 0;
        for (int piece = lack; piece <= end; ++piece)
            present += pieces.has(piece);
        text += QStringLiteral(" %1 %").arg(present * 100 / (end - lack + 1));
    }
    // With a cause (no peers, a full disk) nothing comes in: the last rate
    // seen would be stale.
    if (!m_waitCause.isEmpty())
        text += QStringLiteral(" \u00b7 ") + m_waitCause;
    else if (!m_downloadRate.isEmpty())
        text += QStringLiteral(" \u00b7 ") + m_downloadRate;
    return text;
}

void StreamingView::showMessage(const QString &text, bool autoClear)
{
    // A message that clears itself leaves nothing lasting on screen.
    m_message = autoClear ? QString() : text;
    emit messageChanged(text, autoClear);
}

void StreamingView::refreshCaching(const QString &text)
{
    if (showsCaching() && text != m_message)
        showMessage(text, false);
}

void StreamingView::setSliderRow(bool enabled)
{
    m_sliderEnabled = enabled;
    emit sliderRowChanged(enabled);
}

void StreamingView::showPieces(const QByteArray &pieces)
{
    if (pieces == m_shownPieces)
        return;
    m_shownPieces = pieces;
    emit piecesChanged(pieces);
}
