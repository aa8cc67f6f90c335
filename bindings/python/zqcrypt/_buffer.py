"""Bytes-like input handed to the library without a copy.

An input record of the library only ever points at bytes: the library reads
them and never releases or keeps them, so the record may point straight into
the caller's object. A `bytes` object is pointed at through a `c_char_p`
field, which keeps the object alive with the record. Any other object that
exports a C-contiguous buffer (bytearray, memoryview, array.array, mmap, a
ctypes array, ...) is borrowed through the buffer protocol for the length of
the call: the export keeps its memory in place (a bytearray cannot be resized
meanwhile), and it is given back when the call is done.
"""
from __future__ import annotations

import array
import ctypes
import mmap
from typing import Any, Union

# The records count bytes in 32 bits.
MAX_SIZE = 0xFFFFFFFF


class InputBlob(ctypes.Structure):
    """A record the library only reads: `size`, `tag`, `data`."""

    _fields_ = [("size", ctypes.c_uint32), ("tag", ctypes.c_uint32), ("data", ctypes.c_char_p)]


class _PyBuffer(ctypes.Structure):
    """The interpreter's Py_buffer, whose layout is fixed since Python 3.3."""

    _fields_ = [
        ("buf", ctypes.c_void_p),
        ("obj", ctypes.c_void_p),
        ("len", ctypes.c_ssize_t),
        ("itemsize", ctypes.c_ssize_t),
        ("readonly", ctypes.c_int),
        ("ndim", ctypes.c_int),
        ("format", ctypes.c_char_p),
        ("shape", ctypes.c_void_p),
        ("strides", ctypes.c_void_p),
        ("suboffsets", ctypes.c_void_p),
        ("internal", ctypes.c_void_p),
    ]


# The buffer protocol through the interpreter's own API. These calls hold the
# GIL, and an error they set (TypeError for an object without a buffer,
# BufferError for one that is not contiguous) is raised by ctypes at once.
_PyBUF_SIMPLE = 0
_get_buffer = ctypes.pythonapi.PyObject_GetBuffer
_get_buffer.argtypes = [ctypes.py_object, ctypes.POINTER(_PyBuffer), ctypes.c_int]
_get_buffer.restype = ctypes.c_int
_release_buffer = ctypes.pythonapi.PyBuffer_Release
_release_buffer.argtypes = [ctypes.POINTER(_PyBuffer)]
_release_buffer.restype = None

# A zero-length input still needs a non-null `data`: the hash refuses a
# record without one.
_EMPTY = ctypes.create_string_buffer(1)
_EMPTY_ADDRESS = ctypes.addressof(_EMPTY)

# What the functions take: these types and any other object that exports a
# C-contiguous buffer.
BytesLike = Union[bytes, bytearray, memoryview, "array.array[Any]", mmap.mmap, "ctypes.Array[Any]"]


def _too_large(size: int) -> OverflowError:
    return OverflowError(f"zqcrypt: {size} bytes do not fit a record, which counts at most {MAX_SIZE}")


class Borrowed:
    """The record over one bytes-like input; call release() when the call is done."""

    __slots__ = ("blob", "_view")

    def __init__(self, data: BytesLike) -> None:
        if type(data) is bytes:
            if len(data) > MAX_SIZE:
                raise _too_large(len(data))
            self._view = None
            self.blob = InputBlob(len(data), 0, data)
            return
        view = _PyBuffer()
        _get_buffer(data, view, _PyBUF_SIMPLE)
        self._view = view
        size = view.len
        if size > MAX_SIZE:
            self.release()
            raise _too_large(size)
        self.blob = InputBlob(size, 0, view.buf if size else _EMPTY_ADDRESS)

    def release(self) -> None:
        """Gives a borrowed buffer back; does nothing for bytes or a second time."""
        view, self._view = self._view, None
        if view is not None:
            _release_buffer(view)
