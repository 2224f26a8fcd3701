"""What a window manager would send a window, for an X server that has none (Xvfb)."""

import ctypes
import ctypes.util


class _ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class _Event(ctypes.Union):
    _fields_ = [("client", _ClientMessage), ("pad", ctypes.c_long * 24)]


def request_close(display_name, window_id):
    """Sends WM_DELETE_WINDOW, as the close button of a window manager does."""
    xlib = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
    xlib.XOpenDisplay.restype = ctypes.c_void_p
    xlib.XOpenDisplay.argtypes = [ctypes.c_char_p]
    xlib.XInternAtom.restype = ctypes.c_ulong
    xlib.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    xlib.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                ctypes.POINTER(_Event)]
    xlib.XFlush.argtypes = [ctypes.c_void_p]
    xlib.XCloseDisplay.argtypes = [ctypes.c_void_p]
    display = xlib.XOpenDisplay(display_name.encode())
    if not display:
        raise AssertionError(f"cannot open display {display_name}")
    try:
        event = _Event()
        client_message = 33
        event.client.type = client_message
        event.client.window = window_id
        event.client.message_type = xlib.XInternAtom(display, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = xlib.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
        event.client.data[1] = 0  # CurrentTime
        if not xlib.XSendEvent(display, window_id, 0, 0, ctypes.byref(event)):
            raise AssertionError("XSendEvent failed")
        xlib.XFlush(display)
    finally:
        xlib.XCloseDisplay(display)
