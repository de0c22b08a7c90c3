"""The recognition network, built for the library's one-hot input.

The input row r holds a single 1.0 at the alphabet column of the r-th character (or nothing), so a
convolution over it is a sum of table look-ups: the first layer is k1 tables of 97 entries (96 columns and
one empty row) taken at stride s1, with no multiplication at all. Two or three small convolutions with
pooling and a global max/mean pooling follow; the last layer gives one raw score per class. The library sums
these scores over pieces and batches before its softmax, so they are logits.
"""
import torch
from torch import nn

POSITIONS, COLUMNS, EMPTY_ROW = 510, 96, 96


class SCRModel(nn.Module):
    def __init__(self, classes, c1=64, k1=8, s1=4, c2=128, c3=128, c4=0, dropout=0.2):
        """c4 = 0: two convolutions after the tables; otherwise a third one of c4 channels, after one more
        pooling, widens what the last layer sees from 68 to 132 characters."""
        super().__init__()
        self.k1, self.s1 = k1, s1
        self.steps = (POSITIONS - k1) // s1 + 1
        self.tables = nn.Parameter(torch.randn(k1, c1, COLUMNS + 1) * (1.0 / k1 ** 0.5))
        self.bias1 = nn.Parameter(torch.zeros(c1))
        self.register_buffer("row_mask", (torch.arange(COLUMNS + 1) != EMPTY_ROW).float())
        steps = torch.arange(self.steps)[:, None] * s1 + torch.arange(k1)[None, :]
        self.register_buffer("window_rows", steps, persistent=False)  # [steps, k1]: row of each tap
        self.register_buffer("table_offsets", torch.arange(k1) * (COLUMNS + 1), persistent=False)
        self.conv2 = nn.Conv1d(c1, c2, 3, padding=1)
        self.conv3 = nn.Conv1d(c2, c3, 3, padding=1)
        self.conv4 = nn.Conv1d(c3, c4, 3, padding=1) if c4 else None
        self.pool = nn.MaxPool1d(2)
        self.drop = nn.Dropout(dropout)
        self.fc = nn.Linear(2 * (c4 or c3), classes)
        self.config = dict(classes=classes, c1=c1, k1=k1, s1=s1, c2=c2, c3=c3, c4=c4, dropout=dropout)

    def first_layer(self, rows):
        """rows: [B, 510] column indices (96 = empty row) -> [B, c1, steps]."""
        table = (self.tables * self.row_mask).permute(0, 2, 1).reshape(-1, self.tables.shape[1])
        index = rows[:, self.window_rows] + self.table_offsets  # [B, steps, k1]: one table per offset
        h = nn.functional.embedding_bag(index.reshape(-1, self.k1), table, mode="sum")
        h = h.reshape(rows.shape[0], self.steps, -1)
        return torch.relu(h.permute(0, 2, 1) + self.bias1[None, :, None])

    def forward_rows(self, rows):
        return self.forward_rest(self.first_layer(rows))

    def forward_rest(self, h):
        """The layers after the first: [B, c1, steps] -> [B, classes]."""
        h = self.pool(h)
        h = self.pool(torch.relu(self.conv2(h)))
        h = torch.relu(self.conv3(h))
        if self.conv4 is not None:
            h = torch.relu(self.conv4(self.pool(h)))
        h = torch.cat([h.amax(dim=2), h.mean(dim=2)], dim=1)
        return self.fc(self.drop(h))


class OneHotFront(nn.Module):
    """The exported graph: "feature4" [1, 510, 96] one-hot floats -> "de_pred" [1, classes] scores.

    The first layer is built from few, cheap operators, since on one thread each operator costs a few
    microseconds however small it is. One Gemm gives every row its k1 table indices at once (97 j + c for
    column c under tap j, and the tap's zero entry 97 j + 96 for an empty row); one Gather picks the indices
    of every window, a second one looks the entries up, and one ReduceSum adds the taps. The first layer's
    bias lives in tap 0's entries. Indices are clipped, so a row that is not one-hot gives a wrong score
    rather than an out-of-range lookup."""

    def __init__(self, model):
        super().__init__()
        self.model = model
        k1 = model.k1
        tables = (model.tables * model.row_mask).detach().clone()  # [k1, c1, 97]
        tables[0] += model.bias1.detach()[:, None]
        self.register_buffer("table", tables.permute(0, 2, 1).reshape(k1 * (COLUMNS + 1), -1).contiguous())
        # row index = one-hot row . (c - 96) + 97 j + 96
        self.register_buffer("row_weights", (torch.arange(COLUMNS) - EMPTY_ROW).float()[:, None].repeat(1, k1))
        self.register_buffer("tap_base", (torch.arange(k1) * (COLUMNS + 1) + EMPTY_ROW).float())
        self.register_buffer("window", (model.window_rows * k1 + torch.arange(k1)[None, :]).contiguous())
        self.top = float(k1 * (COLUMNS + 1) - 1)

    def forward(self, feature4):
        m = self.model
        rows = torch.addmm(self.tap_base, feature4.reshape(POSITIONS, COLUMNS), self.row_weights)  # [510, k1]
        indices = torch.clamp(rows.reshape(-1)[self.window], 0.0, self.top).long()  # [steps, k1]
        h = nn.functional.embedding(indices, self.table).sum(dim=1)  # [steps, c1]
        return m.forward_rest(torch.relu(h).t().reshape(1, -1, m.steps))
