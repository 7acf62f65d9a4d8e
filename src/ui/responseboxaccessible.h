#pragma once

// Lets a screen reader read the response box as a reader sees it (ResponseBox::readableText):
// a long line whole, tags as shown, and the details of the entry at the caret as the box's
// description; and the rows that the details margin shows. Installed once for every ResponseBox
// and DetailsMargin.
void installResponseBoxAccessible();
