"""The image files the tool takes: the icon and the splash image."""

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"
BITMAPINFOHEADER_SIZE = 40

# The formats the Java runtime's splash screen reads.
SPLASH_SIGNATURES = ((PNG_SIGNATURE, "PNG"), (b"GIF87a", "GIF"), (b"GIF89a", "GIF"),
                     (b"\xff\xd8\xff", "JPEG"), (b"BM", "BMP"))


def icon_problem(data):
    """Why data is not an .ico file the branding tool takes, or None."""
    if len(data) < 6:
        return "too short for an icon header"
    reserved, kind, count = (int.from_bytes(data[i:i + 2], "little") for i in (0, 2, 4))
    if reserved != 0 or kind != 1:
        return "no icon header (reserved %d, type %d; an .ico file has 0 and 1)" % (reserved, kind)
    if count == 0:
        return "it holds no image"
    directory_end = 6 + 16 * count
    if len(data) < directory_end:
        return "the directory of %d images does not fit in the file" % count
    for index in range(count):
        entry = data[6 + 16 * index:6 + 16 * (index + 1)]
        size = int.from_bytes(entry[8:12], "little")
        offset = int.from_bytes(entry[12:16], "little")
        if size == 0 or offset < directory_end or offset + size > len(data):
            return "image %d lies outside the file" % (index + 1)
        image = data[offset:offset + size]
        if not image.startswith(PNG_SIGNATURE) and \
           int.from_bytes(image[:4], "little") != BITMAPINFOHEADER_SIZE:
            return "image %d is neither a bitmap nor PNG" % (index + 1)
    return None


def splash_format(data):
    for signature, name in SPLASH_SIGNATURES:
        if data.startswith(signature):
            return name
    return None
