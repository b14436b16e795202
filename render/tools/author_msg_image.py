#!/usr/bin/python3
"""One-off authoring of render/msg_image.png, the message image (512 x 157).

The build does not run this: the PNG is kept in the repository and turned
into msg_texture_bitmap by render/tools/png_to_bitmap.cpp. Rerun it only to
redraw the picture (needs python3-pil and fonts-dejavu-core).

The picture is the name in grey, anti-aliased through alpha alone: every
pixel that is not fully transparent holds the same grey, so alpha is straight
and fully transparent pixels are four zero bytes.
"""
import sys

from PIL import Image, ImageDraw, ImageFont

WIDTH, HEIGHT = 512, 157
GREY = 200
FONT = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"
TEXT = "Quorvanta"


def main(out_path):
    # Largest size whose ink fits with a margin of 12 pixels left and right.
    size = 40
    while True:
        font = ImageFont.truetype(FONT, size + 1)
        left, top, right, bottom = font.getbbox(TEXT)
        if right - left > WIDTH - 24 or bottom - top > HEIGHT - 24:
            break
        size += 1
    font = ImageFont.truetype(FONT, size)
    left, top, right, bottom = font.getbbox(TEXT)
    mask = Image.new("L", (WIDTH, HEIGHT), 0)
    x = (WIDTH - (right - left)) // 2 - left
    y = (HEIGHT - (bottom - top)) // 2 - top
    ImageDraw.Draw(mask).text((x, y), TEXT, fill=255, font=font)

    image = Image.new("RGBA", (WIDTH, HEIGHT), (0, 0, 0, 0))
    pixels = image.load()
    alpha = mask.load()
    for j in range(HEIGHT):
        for i in range(WIDTH):
            a = alpha[i, j]
            if a:
                pixels[i, j] = (GREY, GREY, GREY, a)
    image.save(out_path, optimize=True)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "render/msg_image.png")
