USE [QtvConfig]
GO
/****** Object:  StoredProcedure [dbo].[sp_MSupd_Regions]    Script Date: 2021-07-10 1:50:50 PM ******/
SET ANSI_NULLS ON
GO
SET QUOTED_IDENTIFIER ON
GO
create procedure [dbo].[sp_MSupd_Regions] 
 @c1 int,@c2 varchar(40),@c3 smallint,@pkc1 int
,@bitmap binary(1)
as
if substring(@bitmap,1,1) & 1 = 1
begin
update "Regions" set
"region_id" = case substring(@bitmap,1,1) & 1 when 1 then @c1 else "region_id" end
,"region_name" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "region_name" end
,"sort_order" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "sort_order" end
where "region_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
else
begin
update "Regions" set
"region_name" = case substring(@bitmap,1,1) & 2 when 2 then @c2 else "region_name" end
,"sort_order" = case substring(@bitmap,1,1) & 4 when 4 then @c3 else "sort_order" end
where "region_id" = @pkc1
if @@rowcount = 0
	if @@microsoftversion>0x07320000
		exec sp_MSreplraiserror 20598
end
GO
