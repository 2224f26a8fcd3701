"""A minimal reader of TensorFlow Lite model files: just the tables a hand model needs,
read with flatbuffers directly (no generated schema code)."""

import flatbuffers
import numpy as np
from flatbuffers import number_types as N

# BuiltinOperator codes used by the hand models.
OPS = {0: "ADD", 1: "AVERAGE_POOL_2D", 2: "CONCATENATION", 3: "CONV_2D", 4: "DEPTHWISE_CONV_2D",
       6: "DEQUANTIZE", 9: "FULLY_CONNECTED", 14: "LOGISTIC", 17: "MAX_POOL_2D", 18: "MUL",
       19: "RELU", 21: "RELU6", 22: "RESHAPE", 23: "RESIZE_BILINEAR", 34: "PAD", 40: "MEAN",
       54: "PRELU", 117: "HARD_SWISH"}
DTYPES = {0: np.float32, 1: np.float16, 2: np.int32, 3: np.uint8, 4: np.int64}


class Table:
    def __init__(self, buf, pos):
        self.t = flatbuffers.table.Table(buf, pos)

    def _off(self, field):
        return self.t.Offset(4 + 2 * field)

    def scalar(self, field, flags, default=0):
        o = self._off(field)
        return self.t.Get(flags, o + self.t.Pos) if o else default

    def table(self, field):
        o = self._off(field)
        return Table(self.t.Bytes, self.t.Indirect(o + self.t.Pos)) if o else None

    def tables(self, field):
        o = self._off(field)
        if not o:
            return []
        start = self.t.Vector(o)
        return [Table(self.t.Bytes, self.t.Indirect(start + 4 * i))
                for i in range(self.t.VectorLen(o))]

    def array(self, field, dtype):
        o = self._off(field)
        if not o:
            return np.zeros(0, dtype)
        return np.frombuffer(self.t.Bytes, dtype, self.t.VectorLen(o), self.t.Vector(o))

    def string(self, field):
        o = self._off(field)
        return self.t.String(o + self.t.Pos).decode() if o else ""


class Tensor:
    def __init__(self, table, buffers):
        self.shape = [int(v) for v in table.array(0, np.int32)]
        self.dtype = DTYPES[table.scalar(1, N.Int8Flags)]
        self.name = table.string(3)
        data = buffers[table.scalar(2, N.Uint32Flags)].array(0, np.uint8)
        self.data = (np.frombuffer(data.tobytes(), self.dtype).reshape(self.shape)
                     if data.size else None)


class Operator:
    def __init__(self, table, codes):
        code = codes[table.scalar(0, N.Uint32Flags)]
        builtin = max(code.scalar(3, N.Int32Flags), code.scalar(0, N.Int8Flags))
        if builtin not in OPS:
            raise ValueError(f"unsupported tflite operator {builtin}")
        self.kind = OPS[builtin]
        self.inputs = [int(v) for v in table.array(1, np.int32)]
        self.outputs = [int(v) for v in table.array(2, np.int32)]
        self.options = table.table(4)

    def option(self, field, flags=N.Int32Flags, default=0):
        return self.options.scalar(field, flags, default) if self.options else default

    # Field numbers of the option tables that carry each setting.
    def conv(self):
        """(padding SAME?, stride h, stride w, dilation h, dilation w, activation)"""
        dw = self.kind == "DEPTHWISE_CONV_2D"
        a = 4 if dw else 3
        return (self.option(0, N.Int8Flags) == 0, self.option(2), self.option(1),
                self.option(a + 2, default=1), self.option(a + 1, default=1),
                self.option(a, N.Int8Flags))

    def pool(self):
        """(padding SAME?, stride h, stride w, filter h, filter w, activation)"""
        return (self.option(0, N.Int8Flags) == 0, self.option(2), self.option(1),
                self.option(4), self.option(3), self.option(5, N.Int8Flags))

    def activation(self):
        if self.kind in ("ADD", "MUL", "FULLY_CONNECTED"):
            return self.option(0, N.Int8Flags)
        if self.kind == "CONCATENATION":
            return self.option(1, N.Int8Flags)
        return 0


class Model:
    """The first subgraph of a .tflite file: tensors, operators, inputs and outputs."""

    def __init__(self, data):
        if data[4:8] != b"TFL3":
            raise ValueError("not a TensorFlow Lite model")
        root = Table(data, flatbuffers.encode.Get(flatbuffers.packer.uoffset, data, 0))
        codes = root.tables(1)
        buffers = root.tables(4)
        graph = root.tables(2)[0]
        self.tensors = [Tensor(t, buffers) for t in graph.tables(0)]
        self.inputs = [int(v) for v in graph.array(1, np.int32)]
        self.outputs = [int(v) for v in graph.array(2, np.int32)]
        self.operators = [Operator(t, codes) for t in graph.tables(3)]
