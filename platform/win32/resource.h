// Resource identifiers shared by updpack-stub.rc and the backend.
#pragma once

// The program's icon: 32 x 32 and 16 x 16 in 16 colours (`updpack build
// --icon` puts an author's images in its place). The lowest icon identifier
// is the one Explorer shows for the executable.
#define IDI_PROGRAM 1
// The picture of the progress window: a 32 x 32 GIF with one transparent
// colour, stored as raw bytes.
#define IDR_PICTURE 101
