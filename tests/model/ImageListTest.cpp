// The image list without widgets: which names are taken, and stepping through the list.
#include "model/ImageList.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>
#include <vector>

using namespace tessaly;

TEST(ImageList, OnlyTheJpgExtensionInAnyCaseIsTaken) {
    for (const char* taken : {"a.JPG", "a.jpg", "/x/b.Jpg", "c.jPg", ".jpg", "x.y.JPG"})
        EXPECT_TRUE(ExtCheck(taken)) << taken;
    for (const char* refused :
         {"a.jpeg", "a.JPE", "a.png", "a", "dir.jpg/name", "a.JPG ", "a.JPG.bak"})
        EXPECT_FALSE(ExtCheck(refused)) << refused;
}

TEST(ImageList, StepsWrapAroundAtBothEnds) {
    ImageList list;
    list.Replace({"1", "2", "3"});
    EXPECT_EQ(list.Index(), 0);
    EXPECT_EQ(list.Next(), 1) << "the first step from no entry shows the first";
    EXPECT_EQ(list.Next(), 2);
    EXPECT_EQ(list.Next(), 3);
    EXPECT_EQ(list.Next(), 1);
    EXPECT_EQ(list.Previous(), 3);
    EXPECT_EQ(list.Previous(), 2);
    EXPECT_EQ(list.First(), 1);
    EXPECT_EQ(list.Last(), 3);
    EXPECT_EQ(list.Path(3), "3");
    list.Replace({"a"});
    EXPECT_EQ(list.Index(), 0) << "a new list shows no entry yet";
    EXPECT_EQ(list.Next(), 1);
    EXPECT_EQ(list.Previous(), 1);
}

TEST(ImageList, StepsOnAnEmptiedListReachPositionsThatAreReported) {
    // Navigation items left enabled while a drop is still searching step through an empty
    // list: the next entry is 1 and the previous one 0, both outside the list.
    ImageList list;
    list.Replace({});
    const auto message = [&list](int k) {
        try {
            list.Path(k);
        } catch (const std::out_of_range& e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(list.Next(), 1);
    EXPECT_EQ(message(1), "リストのインデックスが範囲を超えています (0)");
    EXPECT_EQ(list.Previous(), 0);
    EXPECT_EQ(message(0), "リストのインデックスが範囲を超えています (-1)");
}

TEST(ImageList, NeighboursComeInTheDirectionOfTravelFirstAndWrapAround) {
    using Paths = std::vector<std::string>;
    ImageList list;
    list.Replace({"1", "2", "3"});
    EXPECT_TRUE(list.Neighbours(1).empty()) << "no entry shown yet";
    list.First();
    EXPECT_EQ(list.Neighbours(1), (Paths{"2", "3"}));
    EXPECT_EQ(list.Neighbours(-1), (Paths{"3", "2"}));
    list.Last();
    EXPECT_EQ(list.Neighbours(1), (Paths{"1", "2"}));
    list.Replace({"a", "b"});
    list.First();
    EXPECT_EQ(list.Neighbours(-1), (Paths{"b"})) << "the next entry is the previous one";
    list.Replace({"a", "x", "a"});
    list.SetIndex(2);
    EXPECT_EQ(list.Neighbours(1), (Paths{"a"})) << "one file named twice is decoded once";
    list.Replace({"a"});
    list.First();
    EXPECT_TRUE(list.Neighbours(1).empty());
}

TEST(ImageList, RemovingAnEntryKeepsThePositionAndWrapsAsSteppingDoes) {
    ImageList list;
    list.Replace({"1", "2", "3", "4"});
    list.SetIndex(3);
    list.Remove(1);
    EXPECT_EQ(list.Index(), 2) << "an entry before the shown one";
    EXPECT_EQ(list.Path(list.Index()), "3");
    list.Remove(2);
    EXPECT_EQ(list.Path(list.Index()), "4") << "the shown entry gives way to the next";
    list.Remove(2);
    EXPECT_EQ(list.Index(), 1) << "after the last comes the first";
    EXPECT_EQ(list.Path(1), "2");
    list.Remove(5);
    EXPECT_EQ(list.Count(), 1) << "outside the list nothing happens";
    EXPECT_EQ(list.RemovePath("2"), 1);
    EXPECT_TRUE(list.Empty());
    EXPECT_EQ(list.Index(), 0);
}

TEST(ImageList, InsertingInSortOrderKeepsTheShownEntry) {
    const auto less = [](const std::string& a, const std::string& b) { return a < b; };
    ImageList list;
    list.Replace({"b", "d", "f"});
    list.SetIndex(2);
    EXPECT_EQ(list.InsertSorted("a", less), 1);
    EXPECT_EQ(list.InsertSorted("g", less), 5);
    EXPECT_EQ(list.InsertSorted("d", less), 4) << "after an equal entry";
    EXPECT_EQ(list.Entries(), (FileListType{"a", "b", "d", "d", "f", "g"}));
    EXPECT_EQ(list.Index(), 3);
    EXPECT_EQ(list.Path(list.Index()), "d");
    list.SetIndex(0);
    list.InsertSorted("c", less);
    EXPECT_EQ(list.Index(), 0) << "no entry shown stays so";
}
