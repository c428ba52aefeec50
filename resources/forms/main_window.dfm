object form_multipage: Tform_multipage
  Left = 0
  Top = 0
  Width = 844
  Height = 634
  Caption = 'Folivra 2.2.1'
  Color = clBtnFace
  Constraints.MinHeight = 600
  Constraints.MinWidth = 800
  Menu = MainMenu1
  Position = poScreenCenter
  Scaled = False
  OnClose = FormClose
  OnCloseQuery = FormCloseQuery
  OnCreate = FormCreate
  OnDestroy = FormDestroy
  OnShow = FormShow
  object Panel4: TPanel
    Left = 0
    Top = 0
    Width = 844
    Height = 44
    Align = alTop
    BevelOuter = bvNone
    Caption = ''
    object btnOpen: TPNGButton
      Left = 6
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Open'
      ShowHint = True
      OnClick = btnOpenClick
    end
    object btnSave: TPNGButton
      Left = 40
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Save'
      ShowHint = True
      OnClick = Save
    end
    object btnSave2: TPNGButton
      Left = 40
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Save'
      ShowHint = True
    end
    object btnPrint: TPNGButton
      Left = 74
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Print'
      ShowHint = True
    end
    object btnPrint2: TPNGButton
      Left = 74
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Print'
      ShowHint = True
    end
    object btnScan: TPNGButton
      Left = 108
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Acquire'
      ShowHint = True
    end
    object btnUndo: TPNGButton
      Left = 152
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Undo'
      ShowHint = True
    end
    object btnUndo2: TPNGButton
      Left = 152
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Undo'
      ShowHint = True
    end
    object btnRedo: TPNGButton
      Left = 186
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Redo'
      ShowHint = True
    end
    object btnRedo2: TPNGButton
      Left = 186
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Redo'
      ShowHint = True
    end
    object btnCopy: TPNGButton
      Left = 230
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Copy'
      ShowHint = True
    end
    object btnCopy2: TPNGButton
      Left = 230
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Copy'
      ShowHint = True
    end
    object btnPasteNewObject: TPNGButton
      Left = 264
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Paste as new object'
      ShowHint = True
    end
    object btnPasteNewObject2: TPNGButton
      Left = 264
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Paste as new object'
      ShowHint = True
    end
    object btnNewFromClipboard: TPNGButton
      Left = 298
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Paste as new page'
      ShowHint = True
    end
    object btnNewFromClipboard2: TPNGButton
      Left = 298
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Paste as new page'
      ShowHint = True
    end
    object btnZoom_Reduce: TPNGButton
      Left = 342
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Zoom Out'
      ShowHint = True
      OnClick = Zoom
    end
    object btnZoom_Reduce2: TPNGButton
      Left = 342
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Zoom Out'
      ShowHint = True
    end
    object btnZoom_Actual: TPNGButton
      Left = 376
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Actual Size'
      ShowHint = True
      OnClick = Zoom
    end
    object btnZoom_Actual2: TPNGButton
      Left = 376
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Actual Size'
      ShowHint = True
    end
    object btnZoom_Enlarge: TPNGButton
      Left = 410
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Zoom In'
      ShowHint = True
      OnClick = Zoom
    end
    object btnZoom_Enlarge2: TPNGButton
      Left = 410
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Zoom In'
      ShowHint = True
    end
    object btnRotateLeft: TPNGButton
      Left = 454
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Rotate 90'#176' counterclockwise'
      ShowHint = True
    end
    object btnRotateLeft2: TPNGButton
      Left = 454
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Rotate 90'#176' counterclockwise'
      ShowHint = True
    end
    object btnRotateRight: TPNGButton
      Left = 488
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Rotate 90'#176' clockwise'
      ShowHint = True
    end
    object btnRotateRight2: TPNGButton
      Left = 488
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Rotate 90'#176' clockwise'
      ShowHint = True
    end
    object btnFlipHor: TPNGButton
      Left = 522
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Flip horizontally'
      ShowHint = True
    end
    object btnFlipHor2: TPNGButton
      Left = 522
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Flip horizontally'
      ShowHint = True
    end
    object btnFlipVert: TPNGButton
      Left = 556
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Flip vertically'
      ShowHint = True
    end
    object btnFlipVert2: TPNGButton
      Left = 556
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Flip vertically'
      ShowHint = True
    end
    object btnImageSize: TPNGButton
      Left = 590
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Image size'
      ShowHint = True
    end
    object btnImageSize2: TPNGButton
      Left = 590
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Image size'
      ShowHint = True
    end
    object btnCrop: TPNGButton
      Left = 624
      Top = 6
      Width = 32
      Height = 32
      Hint = 'Crop'
      ShowHint = True
    end
    object btnCrop2: TPNGButton
      Left = 624
      Top = 50
      Width = 32
      Height = 32
      Hint = 'Crop'
      ShowHint = True
    end
  end
  object StatusBar1: TStatusBar
    Left = 0
    Top = 596
    Width = 844
    Height = 19
    Align = alBottom
    SizeGrip = False
    OnDblClick = StatusBar1DblClick
    Panels = <
      item
        Alignment = taCenter
        Width = 100
      end
      item
        Alignment = taCenter
        Width = 100
      end
      item
        Width = 50
      end
      item
        Width = 50
      end
      item
        Width = 440
      end
      item
        Width = 50
        Text = 'folivra.example.org'
      end
    >
    object Gauge1: TOxXPProgressBar
      Left = 0
      Top = 3
      Width = 100
      Height = 14
      Visible = False
    end
  end
  object Panel7: TPanel
    Left = 0
    Top = 44
    Width = 180
    Height = 552
    Align = alLeft
    BevelOuter = bvNone
    Caption = ''
    Color = clSilver
    object FramesPanel: TPanel
      Left = 0
      Top = 0
      Width = 40
      Height = 552
      Align = alLeft
      BevelOuter = bvNone
      Caption = ''
      object btnInsertPage: TPNGButton
        Left = 4
        Top = 4
        Width = 32
        Height = 32
        Hint = 'Inserts an page'
        ShowHint = True
      end
      object btAddMulti: TPNGButton
        Left = 4
        Top = 40
        Width = 32
        Height = 32
        Hint = 'Inserts an pages series'
        ShowHint = True
      end
      object btRemove: TPNGButton
        Left = 4
        Top = 76
        Width = 32
        Height = 32
        Hint = 'Removes the selected page'
        ShowHint = True
      end
      object btRemove2: TPNGButton
        Left = 44
        Top = 76
        Width = 32
        Height = 32
        Hint = 'Removes the selected page'
        ShowHint = True
      end
      object btnInsertBlancPage: TPNGButton
        Left = 4
        Top = 112
        Width = 32
        Height = 32
        Hint = 'Inserts a blank page'
        ShowHint = True
      end
      object btUp: TPNGButton
        Left = 4
        Top = 148
        Width = 32
        Height = 32
        Hint = 'Moves page up'
        ShowHint = True
      end
      object btUp2: TPNGButton
        Left = 44
        Top = 148
        Width = 32
        Height = 32
        Hint = 'Moves page up'
        ShowHint = True
      end
      object btDown: TPNGButton
        Left = 4
        Top = 184
        Width = 32
        Height = 32
        Hint = 'Moves page down'
        ShowHint = True
      end
      object btDown2: TPNGButton
        Left = 44
        Top = 184
        Width = 32
        Height = 32
        Hint = 'Moves page down'
        ShowHint = True
      end
      object btReorder: TPNGButton
        Left = 4
        Top = 220
        Width = 32
        Height = 32
        Hint = 'Pages reordering'
        ShowHint = True
      end
      object btReorder2: TPNGButton
        Left = 44
        Top = 220
        Width = 32
        Height = 32
        Hint = 'Pages reordering'
        ShowHint = True
      end
      object btDeleteAll: TPNGButton
        Left = 4
        Top = 256
        Width = 32
        Height = 32
        Hint = 'Removes all pages'
        ShowHint = True
      end
      object btDeleteAll2: TPNGButton
        Left = 44
        Top = 256
        Width = 32
        Height = 32
        Hint = 'Removes all pages'
        ShowHint = True
      end
      object OpenTxtListBox: TListBox
        Left = 4
        Top = 400
        Width = 30
        Height = 20
        Visible = False
      end
      object MView: TFolioMView
        Left = 4
        Top = 430
        Width = 30
        Height = 30
        Visible = False
        SelectionWidth = 3
        SelectionColor = clRed
      end
    end
    object FolioMView1: TFolioMView
      Left = 40
      Top = 0
      Width = 140
      Height = 552
      Align = alClient
      ScrollBars = ssVertical
      GridWidth = 1
      ThumbWidth = 110
      ThumbHeight = 120
      Style = iemsFlat
      ThumbnailsBackground = clWindow
      ThumbnailsBorderColor = clBlack
      SelectionColor = clNavy
      OnImageSelect = FolioMView1ImageSelect
    end
  end
  object Panel6: TPanel
    Left = 180
    Top = 44
    Width = 664
    Height = 552
    Align = alClient
    BevelOuter = bvNone
    Caption = ''
    object OxPanel1: TOxPanel
      Left = 0
      Top = 0
      Width = 664
      Height = 80
      Align = alTop
      object OxPanel2: TOxPanel
        Left = 0
        Top = 0
        Width = 664
        Height = 40
        Align = alTop
        object btnSelect: TPNGButton
          Left = 6
          Top = 4
          Width = 32
          Height = 32
          Hint = 'Selection'
          ShowHint = True
        end
        object btnLine: TPNGButton
          Left = 40
          Top = 4
          Width = 32
          Height = 32
          Hint = 'Line'
          ShowHint = True
        end
        object btnBrush: TPNGButton
          Left = 74
          Top = 4
          Width = 32
          Height = 32
          Hint = 'Brush'
          ShowHint = True
        end
        object btnFill: TPNGButton
          Left = 108
          Top = 4
          Width = 32
          Height = 32
          Hint = 'Fill'
          ShowHint = True
        end
        object btnPipetka: TPNGButton
          Left = 142
          Top = 4
          Width = 32
          Height = 32
          Hint = 'Colour picker'
          ShowHint = True
        end
        object btnText: TPNGButton
          Left = 176
          Top = 4
          Width = 32
          Height = 32
          Hint = 'Text'
          ShowHint = True
        end
        object ColorPanel: TPanel
          Left = 220
          Top = 4
          Width = 32
          Height = 28
          Caption = ''
          Color = clBlack
        end
        object ColorSelect_Color: TPanel
          Left = 260
          Top = 4
          Width = 32
          Height = 28
          Caption = ''
        end
        object ColorSelect_BW: TPanel
          Left = 300
          Top = 4
          Width = 32
          Height = 28
          Caption = ''
        end
      end
      object SelectPanel: TPanel
        Left = 0
        Top = 44
        Width = 664
        Height = 34
        Caption = ''
        Visible = False
      end
      object DrawPanel: TPanel
        Left = 0
        Top = 44
        Width = 664
        Height = 34
        Caption = ''
        Visible = False
      end
      object BrushPanel: TPanel
        Left = 0
        Top = 44
        Width = 664
        Height = 34
        Caption = ''
        Visible = False
      end
      object FillPanel: TPanel
        Left = 0
        Top = 44
        Width = 664
        Height = 34
        Caption = ''
        Visible = False
      end
      object TextPanel: TPanel
        Left = 0
        Top = 44
        Width = 664
        Height = 34
        Caption = ''
        Visible = False
      end
    end
    object PageView: TFolioVect
      Left = 0
      Top = 80
      Width = 664
      Height = 472
      Align = alClient
      PopupMenu = PopupMenu1
      OnMouseWheel = PageViewMouseWheel
    end
  end
  object IEn: TFolioView
    Left = 600
    Top = 100
    Width = 20
    Height = 20
    Visible = False
  end
  object IEnIO: TFolioIO
    AttachedFolio = IEn
    Background = clBtnFace
  end
  object FolioMIO1: TFolioMIO
    AttachedMView = FolioMView1
  end
  object MainMenu1: TMainMenu
    object File1: TMenuItem
      Caption = 'File'
      object Open1: TMenuItem
        Caption = 'Open'
        OnClick = btnOpenClick
      end
      object Save2: TMenuItem
        Caption = 'Save'
        OnClick = Save
      end
      object Saveselectedimage1: TMenuItem
        Caption = 'Save page'
        OnClick = SaveOne
      end
      object Saveallimageas2: TMenuItem
        Caption = 'Save all page as...'
        object separatefiles1: TMenuItem
          Caption = 'separate files'
          OnClick = SaveAllSepat
        end
        object N1: TMenuItem
          Caption = '-'
        end
        object multipagefile1: TMenuItem
          Caption = 'multipage file'
          OnClick = SaveMultipage
        end
        object N2: TMenuItem
          Caption = '-'
        end
        object VerticalStrip: TMenuItem
          Caption = 'vertical image strip'
          OnClick = BitmapStrip
        end
        object HorizontalStrip: TMenuItem
          Caption = 'horizontal image strip'
          OnClick = BitmapStrip
        end
      end
      object N3: TMenuItem
        Caption = '-'
      end
      object TextImport1: TMenuItem
        Caption = 'Text Import'
      end
      object N4: TMenuItem
        Caption = '-'
      end
      object BatchProcess1: TMenuItem
        Caption = 'Batch Process...'
      end
      object N5: TMenuItem
        Caption = '-'
      end
      object Acquire1: TMenuItem
        Caption = 'Acquire...'
        object SelectSource1: TMenuItem
          Caption = 'Select Source'
        end
        object Acquire2: TMenuItem
          Caption = 'Acquire'
        end
      end
      object N6: TMenuItem
        Caption = '-'
      end
      object Print1: TMenuItem
        Caption = 'Print'
      end
      object N7: TMenuItem
        Caption = '-'
      end
      object Exit1: TMenuItem
        Caption = 'Exit'
        OnClick = Exit1Click
      end
    end
    object Edit1: TMenuItem
      Caption = 'Edit'
      object menuUndo: TMenuItem
        Caption = 'Undo'
      end
      object menuRedo: TMenuItem
        Caption = 'Redo'
      end
      object N8: TMenuItem
        Caption = '-'
      end
      object Paste1: TMenuItem
        Caption = 'Paste...'
        object NewFromClipboard: TMenuItem
          Caption = 'as new page'
        end
        object PasteNewObject: TMenuItem
          Caption = 'as new object'
        end
      end
      object N9: TMenuItem
        Caption = '-'
      end
      object Rotate1: TMenuItem
        Caption = 'Rotate...'
        object RotatePage1: TMenuItem
          Caption = 'page...'
          object PageRot90CW: TMenuItem
            Caption = '90'#176' Clockwise'
          end
          object PageRot90CCW: TMenuItem
            Caption = '90'#176' Counterclockwise'
          end
          object PageRot180: TMenuItem
            Caption = '180'#176
          end
          object PageRotCustom: TMenuItem
            Caption = 'Custom...'
          end
        end
        object RotateAll1: TMenuItem
          Caption = 'all pages...'
          object AllRot90CW: TMenuItem
            Caption = '90'#176' Clockwise'
          end
          object AllRot90CCW: TMenuItem
            Caption = '90'#176' Counterclockwise'
          end
          object AllRot180: TMenuItem
            Caption = '180'#176
          end
          object AllRotCustom: TMenuItem
            Caption = 'Custom...'
          end
        end
      end
      object Flip1: TMenuItem
        Caption = 'Flip...'
        object FlipPage1: TMenuItem
          Caption = 'page...'
          object PageFlipH: TMenuItem
            Caption = 'horizontally'
          end
          object PageFlipV: TMenuItem
            Caption = 'vertically'
          end
        end
        object FlipAll1: TMenuItem
          Caption = 'all pages...'
          object AllFlipH: TMenuItem
            Caption = 'horizontally'
          end
          object AllFlipV: TMenuItem
            Caption = 'vertically'
          end
        end
      end
      object N10: TMenuItem
        Caption = '-'
      end
      object ImageSize1: TMenuItem
        Caption = 'Image Size...'
        object ImageSizePage1: TMenuItem
          Caption = 'page'
        end
        object ImageSizeAll1: TMenuItem
          Caption = 'all pages'
        end
      end
      object CanvasSize11: TMenuItem
        Caption = 'Canvas Size...'
        object CanvasSizePage1: TMenuItem
          Caption = 'page'
        end
        object CanvasSizeAll1: TMenuItem
          Caption = 'all pages'
        end
      end
      object N11: TMenuItem
        Caption = '-'
      end
      object Crop2: TMenuItem
        Caption = 'Crop...'
        object CropPage1: TMenuItem
          Caption = 'page'
        end
        object CropAll1: TMenuItem
          Caption = 'all pages'
        end
      end
      object N12: TMenuItem
        Caption = '-'
      end
      object Deselect1: TMenuItem
        Caption = 'Deselect'
      end
      object N13: TMenuItem
        Caption = '-'
      end
      object Options1: TMenuItem
        Caption = 'Options...'
      end
    end
    object Tools1: TMenuItem
      Caption = 'Tools'
      object Effects1: TMenuItem
        Caption = 'Effects...'
      end
      object N14: TMenuItem
        Caption = '-'
      end
      object SkewCorrection1: TMenuItem
        Caption = 'Deskewing'
      end
      object RemoveNoise1: TMenuItem
        Caption = 'Remove Noise'
      end
      object RemoveIsolatedPixels1: TMenuItem
        Caption = 'Remove Isolated Pixels'
      end
      object N15: TMenuItem
        Caption = '-'
      end
      object AutoCrop1: TMenuItem
        Caption = 'Auto Crop'
      end
      object N16: TMenuItem
        Caption = '-'
      end
      object AddBorders1: TMenuItem
        Caption = 'Add Borders...'
      end
    end
    object Color1: TMenuItem
      Caption = 'Color'
      object ColorAdjust1: TMenuItem
        Caption = 'Color Adjust'
      end
      object Negative1: TMenuItem
        Caption = 'Negative '
      end
      object N17: TMenuItem
        Caption = '-'
      end
      object Convertto1: TMenuItem
        Caption = 'Convert to ...'
        object ConvertTo24bit: TMenuItem
          Caption = '24 bit'
        end
        object ConvertTo8bit: TMenuItem
          Caption = '8 bit'
        end
        object ConvertToGray: TMenuItem
          Caption = 'gray'
        end
        object ConvertToBW: TMenuItem
          Caption = 'black / white (1 bit)'
        end
      end
    end
    object View1: TMenuItem
      Caption = 'View'
      object Enlarge1: TMenuItem
        Caption = 'Zoom In [+]'
        OnClick = Zoom
      end
      object Reduce1: TMenuItem
        Caption = 'Zoom Out [-]'
        OnClick = Zoom
      end
      object N18: TMenuItem
        Caption = '-'
      end
      object Zoom_FitPageWidth: TMenuItem
        Caption = 'Fit Page Width'
        OnClick = Zoom
      end
      object Zoom_FitPageHeight: TMenuItem
        Caption = 'Fit Page Height'
        OnClick = Zoom
      end
      object ActualSize1: TMenuItem
        Caption = 'Actual Size'
        OnClick = Zoom
      end
      object N19: TMenuItem
        Caption = '-'
      end
      object Magnifier: TMenuItem
        Caption = 'Magnifier'
        OnClick = MagnifierClick
      end
    end
    object Help1: TMenuItem
      Caption = 'Help'
      object Content1: TMenuItem
        Caption = 'Content'
      end
      object N20: TMenuItem
        Caption = '-'
      end
      object Webpage1: TMenuItem
        Caption = 'Web page'
      end
      object About1: TMenuItem
        Caption = 'About...'
      end
    end
    object Feedback1: TMenuItem
      Caption = 'Feedback'
    end
  end
  object PopupMenu1: TPopupMenu
    object Deselect: TMenuItem
      Caption = 'Deselect'
    end
    object N21: TMenuItem
      Caption = '-'
    end
    object pm_copy: TMenuItem
      Caption = 'Copy'
    end
    object pm_paste: TMenuItem
      Caption = 'Paste'
      object NewFromClipboard1: TMenuItem
        Caption = 'New From Clipboard'
      end
      object PasteAsNewSelection1: TMenuItem
        Caption = 'Paste As New Selection'
      end
    end
    object N22: TMenuItem
      Caption = '-'
    end
    object AutoCrop2: TMenuItem
      Caption = 'Auto Crop'
    end
    object pm_crop: TMenuItem
      Caption = 'Crop'
    end
    object N23: TMenuItem
      Caption = '-'
    end
    object Magnifier1: TMenuItem
      Caption = 'Magnifier'
      OnClick = MagnifierClick
    end
    object N24: TMenuItem
      Caption = '-'
    end
    object Options2: TMenuItem
      Caption = 'Options...'
    end
  end
end
