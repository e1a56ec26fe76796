"""Loads an export with torchvision's VOCSegmentation (Debian's
python3-torchvision), as a user would: every split loads, with the photos'
sizes and the masks' label indices. Exits 77 (skipped) without torchvision.

Usage: torchvision_check.py SCRIBELINE WORK_FOLDER
"""
import os
import subprocess
import sys

try:
    import numpy as np
    from PIL import Image
    from torchvision.datasets import VOCSegmentation
except ImportError:
    sys.exit(77)

scribeline, work = sys.argv[1], sys.argv[2]
photos = os.path.join(work, "photos")
os.makedirs(photos, exist_ok=True)
# label 0 black, label 1 (128, 0, 0), void white; sizes odd on purpose
expected = {}
for i, (width, height) in enumerate([(31, 17), (8, 9), (5, 40), (12, 12)]):
    name = "p%d" % i
    Image.new("RGB", (width, height), (90, 60, 30)).save(
        os.path.join(photos, name + ".jpg"))
    mask = np.zeros((height, width, 3), np.uint8)
    mask[: height // 2, : width // 2] = (128, 0, 0)
    mask[-1, -1] = (255, 255, 255)
    Image.fromarray(mask).save(os.path.join(photos, name + ".jpg_Mask.png"))
    indices = np.zeros((height, width), np.uint8)
    indices[: height // 2, : width // 2] = 1
    indices[-1, -1] = 255
    expected[name] = indices

root = os.path.join(work, "root")
subprocess.run([scribeline, "--export", "--val", "0.5",
                os.path.join(root, "VOCdevkit", "VOC2012"), photos],
               check=True, stdout=subprocess.DEVNULL)
sizes = {}
for split in ("train", "val", "trainval"):
    dataset = VOCSegmentation(root, year="2012", image_set=split,
                              download=False)
    sizes[split] = len(dataset)
    for index in range(len(dataset)):
        image, target = dataset[index]
        name = os.path.splitext(os.path.basename(dataset.images[index]))[0]
        assert target.mode == "P", target.mode
        assert image.size == target.size, (image.size, target.size)
        assert (np.array(target) == expected[name]).all(), name
assert sizes["train"] + sizes["val"] == sizes["trainval"] == 4, sizes
print("torchvision loaded every split:", sizes)
