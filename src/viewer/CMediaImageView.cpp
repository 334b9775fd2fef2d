#include "CMediaImageView.h"

void CMediaImageView::StatusUpdate()
{
    BroadcastMessage(msg_MediaStillShown, nullptr);
    StopRepeating();
}
