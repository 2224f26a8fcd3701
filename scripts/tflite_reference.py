"""A plain numpy interpreter of a TensorFlow Lite hand model, in the file's own NHWC layout.
Slow and simple on purpose: it is the reference that a converted model is checked against."""

import numpy as np

import tflite_reader


def _activate(x, kind):
    if kind == 1:
        return np.maximum(x, 0)
    if kind == 3:
        return np.clip(x, 0, 6)
    if kind != 0:
        raise ValueError(f"unsupported fused activation {kind}")
    return x


def _same_pads(size, kernel, stride, dilation):
    out = -(-size // stride)
    total = max((out - 1) * stride + (kernel - 1) * dilation + 1 - size, 0)
    return total // 2, total - total // 2


def _windows(x, kh, kw, sh, sw, same, dh=1, dw=1, fill=0.0):
    """Yields (i, j, slice of x seen by kernel tap i, j) for every output position at once."""
    n, h, w, c = x.shape
    if same:
        top, bottom = _same_pads(h, kh, sh, dh)
        left, right = _same_pads(w, kw, sw, dw)
        x = np.pad(x, ((0, 0), (top, bottom), (left, right), (0, 0)), constant_values=fill)
    oh = (x.shape[1] - (kh - 1) * dh - 1) // sh + 1
    ow = (x.shape[2] - (kw - 1) * dw - 1) // sw + 1
    for i in range(kh):
        for j in range(kw):
            yield i, j, x[:, i * dh:i * dh + (oh - 1) * sh + 1:sh, j * dw:j * dw + (ow - 1) * sw + 1:sw, :]


def _resize_half_pixel(x, oh, ow):
    def axis_weights(size, out):
        pos = np.maximum((np.arange(out) + 0.5) * size / out - 0.5, 0)
        lo = np.minimum(np.floor(pos).astype(int), size - 1)
        hi = np.minimum(lo + 1, size - 1)
        return lo, hi, (pos - lo)

    ylo, yhi, fy = axis_weights(x.shape[1], oh)
    xlo, xhi, fx = axis_weights(x.shape[2], ow)
    fy = fy[None, :, None, None]
    fx = fx[None, None, :, None]
    top = x[:, ylo][:, :, xlo] * (1 - fx) + x[:, ylo][:, :, xhi] * fx
    bottom = x[:, yhi][:, :, xlo] * (1 - fx) + x[:, yhi][:, :, xhi] * fx
    return top * (1 - fy) + bottom * fy


def run(model, image):
    """Runs the graph on one NHWC float32 input; returns {output name: array}."""
    values = {i: t.data.astype(np.float32) if t.data is not None and t.dtype != np.int32 else t.data
              for i, t in enumerate(model.tensors)}
    values[model.inputs[0]] = image.astype(np.float64)
    for op in model.operators:
        a = [values.get(i) if i >= 0 else None for i in op.inputs]
        k = op.kind
        if k == "DEQUANTIZE":
            y = a[0].astype(np.float32)
        elif k in ("CONV_2D", "DEPTHWISE_CONV_2D"):
            same, sh, sw, dh, dw, act = op.conv()
            weights = a[1].astype(np.float64)
            kh, kw = weights.shape[1], weights.shape[2]
            y = 0.0
            for i, j, patch in _windows(a[0], kh, kw, sh, sw, same, dh, dw):
                if k == "CONV_2D":
                    y = y + patch @ weights[:, i, j, :].T
                else:
                    y = y + patch * weights[0, i, j, :]
            if len(a) > 2 and a[2] is not None:
                y = y + a[2]
            y = _activate(y, act)
        elif k == "MAX_POOL_2D":
            same, sh, sw, fh, fw, act = op.pool()
            y = -np.inf
            for _, _, patch in _windows(a[0], fh, fw, sh, sw, same, fill=-np.inf):
                y = np.maximum(y, patch)
            y = _activate(y, act)
        elif k == "ADD":
            y = _activate(a[0] + a[1], op.activation())
        elif k == "PRELU":
            y = np.where(a[0] >= 0, a[0], a[0] * a[1])
        elif k == "PAD":
            y = np.pad(a[0], a[1].tolist())
        elif k == "RESIZE_BILINEAR":
            y = _resize_half_pixel(a[0], *a[1].tolist())
        elif k == "RESHAPE":
            y = a[0].reshape(model.tensors[op.outputs[0]].shape)
        elif k == "CONCATENATION":
            y = _activate(np.concatenate(a, axis=op.option(0)), op.activation())
        elif k == "MEAN":
            y = a[0].mean(axis=tuple(a[1].tolist()))
        elif k == "FULLY_CONNECTED":
            y = a[0] @ a[1].T + (a[2] if len(a) > 2 and a[2] is not None else 0)
            y = _activate(y, op.activation())
        elif k == "LOGISTIC":
            y = 1 / (1 + np.exp(-a[0]))
        else:
            raise ValueError(f"no reference for {k}")
        values[op.outputs[0]] = y
    return {model.tensors[i].name: values[i] for i in model.outputs}
