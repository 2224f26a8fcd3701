#!/usr/bin/python3
"""Converts a TensorFlow Lite hand model to ONNX that OpenCV 4.6's dnn module reads, then checks
the ONNX model, run by OpenCV, against a numpy interpreter of the original graph.

    tflite2onnx.py IN.tflite OUT.onnx
    tflite2onnx.py --clip-inputs IN.onnx OUT.onnx

The ONNX model takes NCHW input (1, 3, H, W) and keeps every 4-d tensor in NCHW; outputs keep the
tflite names and shapes. fp16 weights (DEQUANTIZE of a constant) are folded into float32
initialisers. Clip keeps the old attribute form, the only one OpenCV 4.6 parses; --clip-inputs
makes a copy of a converted model with Clip's bounds as inputs, the form ONNX Runtime wants.
Exits non-zero, saying why, when the models disagree."""

import sys

import numpy as np
import onnx
from onnx import TensorProto, helper, numpy_helper

import tflite_reader
import tflite_reference

# NHWC axis -> NCHW axis
NCHW_AXIS = {0: 0, 1: 2, 2: 3, 3: 1}


def _same_pads(size, kernel, stride):
    out = -(-size // stride)
    total = max((out - 1) * stride + kernel - size, 0)
    return total // 2, total - total // 2


class Converter:
    def __init__(self, model):
        self.model = model
        self.nodes = []
        self.initializers = []
        self.constants = {}  # tensor index -> folded float32 array (tflite layout)
        self.count = 0

    def name(self, index):
        return f"t{index}"

    def fresh(self, base):
        self.count += 1
        return f"{base}_{self.count}"

    def const(self, array, base="c"):
        name = self.fresh(base)
        self.initializers.append(numpy_helper.from_array(np.ascontiguousarray(array), name))
        return name

    def node(self, op, inputs, outputs, **attrs):
        self.nodes.append(helper.make_node(op, inputs, outputs, **attrs))

    def value(self, index):
        if index in self.constants:
            return self.constants[index]
        data = self.model.tensors[index].data
        return None if data is None else data.astype(np.float32) if data.dtype != np.int32 else data

    def activation(self, out, kind):
        """Applies a fused activation to the node just made; returns the final name."""
        if kind == 0:
            return out
        raw = self.fresh("pre")
        self.nodes[-1].output[0] = raw
        if kind == 1:
            self.node("Relu", [raw], [out])
        elif kind == 3:
            self.node("Clip", [raw], [out], min=0.0, max=6.0)
        else:
            raise ValueError(f"unsupported fused activation {kind}")
        return out

    def convert(self):
        m = self.model
        for op in m.operators:
            ins = op.inputs
            out = self.name(op.outputs[0])
            t_in = m.tensors[ins[0]]
            k = op.kind
            if k == "DEQUANTIZE":
                self.constants[op.outputs[0]] = t_in.data.astype(np.float32)
            elif k in ("CONV_2D", "DEPTHWISE_CONV_2D"):
                same, sh, sw, dh, dw, act = op.conv()
                if (dh, dw) != (1, 1):
                    raise ValueError("dilated convolution is not supported")
                w = self.value(ins[1])
                if k == "CONV_2D":
                    weights, group = w.transpose(0, 3, 1, 2), 1
                else:
                    weights, group = w.transpose(3, 0, 1, 2), w.shape[3]
                kh, kw = weights.shape[2], weights.shape[3]
                pads = [0, 0, 0, 0]
                if same:
                    top, bottom = _same_pads(t_in.shape[1], kh, sh)
                    left, right = _same_pads(t_in.shape[2], kw, sw)
                    pads = [top, left, bottom, right]
                inputs = [self.name(ins[0]), self.const(weights, "w")]
                if len(ins) > 2 and ins[2] >= 0:
                    inputs.append(self.const(self.value(ins[2]), "b"))
                self.node("Conv", inputs, [out], kernel_shape=[kh, kw], strides=[sh, sw],
                          pads=pads, group=group)
                self.activation(out, act)
            elif k == "MAX_POOL_2D":
                same, sh, sw, fh, fw, act = op.pool()
                pads = [0, 0, 0, 0]
                if same:
                    top, bottom = _same_pads(t_in.shape[1], fh, sh)
                    left, right = _same_pads(t_in.shape[2], fw, sw)
                    pads = [top, left, bottom, right]
                self.node("MaxPool", [self.name(ins[0])], [out], kernel_shape=[fh, fw],
                          strides=[sh, sw], pads=pads)
                self.activation(out, act)
            elif k == "ADD":
                self.node("Add", [self.name(ins[0]), self.name(ins[1])], [out])
                self.activation(out, op.activation())
            elif k == "PRELU":
                slope = self.value(ins[1]).reshape(-1, 1, 1)
                self.node("PRelu", [self.name(ins[0]), self.const(slope, "slope")], [out])
            elif k == "PAD":
                pads = self.value(ins[1])  # NHWC (before, after) pairs
                order = [0, 3, 1, 2]
                onnx_pads = [int(pads[a][0]) for a in order] + [int(pads[a][1]) for a in order]
                self.node("Pad", [self.name(ins[0]), self.const(np.array(onnx_pads, np.int64), "pads")],
                          [out], mode="constant")
            elif k == "RESIZE_BILINEAR":
                size = self.value(ins[1])
                scales = np.array([1, 1, size[0] / t_in.shape[1], size[1] / t_in.shape[2]], np.float32)
                self.node("Resize", [self.name(ins[0]), self.const(np.zeros(0, np.float32), "roi"),
                                     self.const(scales, "scales")], [out], mode="linear",
                          coordinate_transformation_mode="half_pixel")
            elif k == "RESHAPE":
                source = self.name(ins[0])
                if len(t_in.shape) == 4:
                    source = self.fresh("nhwc")
                    self.node("Transpose", [self.name(ins[0])], [source], perm=[0, 2, 3, 1])
                shape = np.array(m.tensors[op.outputs[0]].shape, np.int64)
                self.node("Reshape", [source, self.const(shape, "shape")], [out])
            elif k == "CONCATENATION":
                rank = len(t_in.shape)
                axis = op.option(0) % rank
                if rank == 4:
                    axis = NCHW_AXIS[axis]
                self.node("Concat", [self.name(i) for i in ins], [out], axis=axis)
                self.activation(out, op.activation())
            elif k == "MEAN":
                axes = sorted(int(a) % 4 for a in self.value(ins[1]))
                if axes != [1, 2] or len(m.tensors[op.outputs[0]].shape) != 2:
                    raise ValueError("only a spatial mean to a vector is supported")
                pooled = self.fresh("pooled")
                self.node("GlobalAveragePool", [self.name(ins[0])], [pooled])
                self.node("Flatten", [pooled], [out], axis=1)
            elif k == "FULLY_CONNECTED":
                inputs = [self.name(ins[0]), self.const(self.value(ins[1]), "fc")]
                if len(ins) > 2 and ins[2] >= 0:
                    inputs.append(self.const(self.value(ins[2]), "bias"))
                self.node("Gemm", inputs, [out], transB=1)
                self.activation(out, op.activation())
            elif k == "LOGISTIC":
                self.node("Sigmoid", [self.name(ins[0])], [out])
            else:
                raise ValueError(f"no conversion for {k}")

        t = m.tensors[m.inputs[0]]
        n, h, w, c = t.shape
        graph_input = helper.make_tensor_value_info(t.name, TensorProto.FLOAT, [n, c, h, w])
        self.nodes.insert(0, helper.make_node("Identity", [t.name], [self.name(m.inputs[0])]))
        outputs = []
        for i in m.outputs:
            name = m.tensors[i].name
            self.node("Identity", [self.name(i)], [name])
            outputs.append(helper.make_tensor_value_info(name, TensorProto.FLOAT, m.tensors[i].shape))
        graph = helper.make_graph(self.nodes, "hand", [graph_input], outputs, self.initializers)
        return helper.make_model(graph, producer_name="quorvel tflite2onnx",
                                 opset_imports=[helper.make_opsetid("", 11)])


def check(model, onnx_bytes, inputs=4):
    """Runs the converted model in OpenCV and the reference on the same inputs; returns the
    largest disagreement relative to each output's magnitude."""
    import cv2

    net = cv2.dnn.readNetFromONNX(np.frombuffer(onnx_bytes, np.uint8))
    t = model.tensors[model.inputs[0]]
    names = [model.tensors[i].name for i in model.outputs]
    rng = np.random.default_rng(7)
    _, h, w, _ = t.shape
    yy, xx = np.mgrid[0:h, 0:w] / max(h, w)
    worst = 0.0
    for k in range(inputs):
        if k % 2:
            image = rng.random((1, h, w, 3))
        else:  # smooth, picture-like content
            image = np.stack([0.5 + 0.5 * np.sin((k + 1) * 6 * xx + c * yy * 5) for c in range(3)],
                             -1)[None]
        image = image.astype(np.float32)
        expected = tflite_reference.run(model, image)
        net.setInput(np.ascontiguousarray(image.transpose(0, 3, 1, 2)))
        got = net.forward(names)
        for name, value in zip(names, got):
            ref = expected[name]
            value = value.reshape(ref.shape)
            error = float(np.abs(value - ref).max()) / max(1.0, float(np.abs(ref).max()))
            worst = max(worst, error)
    return worst


def clip_bounds_as_inputs(model):
    """A copy of `model` whose Clip nodes take min and max as inputs (opset 11) rather than as
    attributes."""
    copy = onnx.ModelProto()
    copy.CopyFrom(model)
    graph = copy.graph
    nodes = []
    for index, node in enumerate(graph.node):
        if node.op_type == "Clip" and len(node.input) == 1:
            bounds = {a.name: a.f for a in node.attribute}
            inputs = [node.input[0]]
            for bound in ("min", "max"):
                name = f"clip{index}_{bound}"
                graph.initializer.append(
                    numpy_helper.from_array(np.array(bounds[bound], np.float32), name))
                inputs.append(name)
            node = helper.make_node("Clip", inputs, list(node.output))
        nodes.append(node)
    del graph.node[:]
    graph.node.extend(nodes)
    onnx.checker.check_model(copy)
    return copy


TOLERANCE = 1e-3


def main(argv):
    if len(argv) == 4 and argv[1] == "--clip-inputs":
        onnx.save(clip_bounds_as_inputs(onnx.load(argv[2])), argv[3])
        return 0
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        model = tflite_reader.Model(f.read())
    converted = Converter(model).convert()
    data = converted.SerializeToString()
    error = check(model, data)
    if not error <= TOLERANCE:
        print(f"tflite2onnx: {argv[2]} disagrees with the original model "
              f"(relative error {error:.2e} > {TOLERANCE:.0e}); not written", file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(data)
    print(f"tflite2onnx: {argv[2]} agrees with the original model (relative error {error:.1e})")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
