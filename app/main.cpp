#include <iostream>

#include "GLStuff.h"
#include "Heap.h"
#include "RtAudioDriver.h"
#include "Shutdown.h"

int main(int argc, char** argv)
{
    KeepFreedHeapMapped();

    RtAudioDriver driver(256, 44100, 2, 0);
    GLStuff::RegisterAudio(&driver);

    GLStuff::GLStartup(argc, const_cast<const char**>(argv));

    std::cout << "byebye!\n" << std::flush;
    GLStuff::RegisterAudio(nullptr);
    return 0;
}
