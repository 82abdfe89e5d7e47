#pragma once
// The program's pictures are drawn by code on a 16 by 16 grid; an icon holds
// each at 16 pixels and twice that for dense screens.

#include <QIcon>

#include <functional>

class QPainter;

QIcon drawnIcon(const std::function<void(QPainter&)>& draw);
