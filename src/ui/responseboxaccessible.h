#pragma once

// Lets a screen reader read the response box as a reader sees it (ResponseBox::readableText):
// a long line whole, tags as shown. Installed once for every ResponseBox.
void installResponseBoxAccessible();
